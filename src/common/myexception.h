#pragma once
// The one error channel of the program: every failure reported to the user is a
// myexception (or a type derived from it) that carries its complete message text.

#include <string>
#include <utility>

class myexception {
public:
    explicit myexception(std::wstring message) : message_(std::move(message)) {}
    virtual ~myexception() = default;
    myexception(const myexception&) = default;
    myexception& operator=(const myexception&) = default;

    /// The complete, user-readable message.
    virtual const wchar_t* what() const noexcept { return message_.c_str(); }
    const std::wstring& message() const noexcept { return message_; }

private:
    std::wstring message_;
};

/// A file that is missing, cannot be opened or has no name.
class file_error : public myexception {
public:
    using myexception::myexception;
};

/// An allocation that returned nothing.
class memory_error : public myexception {
public:
    using myexception::myexception;
    memory_error() : myexception(L"Memory Error.") {}
};

/// A failed operation of the common services.
class exec_error : public myexception {
public:
    using myexception::myexception;
    exec_error() : myexception(L"Exec Error.") {}
};
