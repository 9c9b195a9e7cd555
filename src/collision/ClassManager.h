#pragma once
// A process-wide keyed registry of owned objects: an ordered map from a key to an
// owned value, created empty on first use and torn down as a whole.

#include <cstdint>
#include <map>
#include <memory>
#include <utility>

template <class Key, class Value> class ClassManager {
public:
    using Map = std::map<Key, Value>;

    ClassManager() = default;
    virtual ~ClassManager() = default;
    ClassManager(const ClassManager&) = delete;
    ClassManager& operator=(const ClassManager&) = delete;

    /// The single manager, created empty on first use.
    static ClassManager& Instance() {
        if (!instance_) {
            instance_ = std::make_unique<ClassManager>();
            ++generation_;
        }
        return *instance_;
    }
    /// The single manager if it exists; never creates it.
    static ClassManager* Current() { return instance_.get(); }
    /// Destroys the manager and everything it owns; a later Instance() creates a fresh, empty one.
    static void Destroy() {
        instance_.reset();
        ++generation_;
    }
    /// Counts every change of any manager of this kind (creation, assignment, teardown), so that
    /// an index built over the entries can tell whether it is still current.
    static std::uint64_t Generation() { return generation_; }

    /// Stores the value under the key, replacing (and destroying) what the key held.
    void Set(const Key& key, Value value) {
        entries_[key] = std::move(value);
        ++generation_;
    }
    /// The value stored under the key, or null; never changes the map.
    const Value* Find(const Key& key) const {
        auto found = entries_.find(key);
        return found == entries_.end() ? nullptr : &found->second;
    }
    /// The entries in key order.
    const Map& Entries() const { return entries_; }

private:
    Map entries_;
    static inline std::unique_ptr<ClassManager> instance_;
    static inline std::uint64_t generation_ = 0;
};
