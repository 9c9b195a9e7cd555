#pragma once
// Entries of a folder listing: files and directories with their paths (written with
// "\" between names) and their times in UTC.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/DateTime.h"

class DiskItem {
public:
    DiskItem(bool isFile, std::wstring path) : isFile(isFile), path(std::move(path)) {}
    virtual ~DiskItem() = default;
    DiskItem(const DiskItem&) = delete;
    DiskItem& operator=(const DiskItem&) = delete;

    bool isFile;
    /// The full path as the listing built it, e.g. "items\ball\ball.wtf".
    std::wstring path;
    DateTime creationTime;
    DateTime lastAccessTime;
    DateTime lastWriteTime;
};

class DiskFile : public DiskItem {
public:
    explicit DiskFile(std::wstring path) : DiskItem(true, std::move(path)) {}
};

class DiskDirectory : public DiskItem {
public:
    explicit DiskDirectory(std::wstring path) : DiskItem(false, std::move(path)) {}
    /// Destroys the children first, in list order.
    ~DiskDirectory() override {
        for (std::unique_ptr<DiskItem>& child : children) {
            child.reset();
        }
    }

    std::vector<std::unique_ptr<DiskItem>> children;
};
