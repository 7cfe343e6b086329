// Module-level state with one copy per thread ("records"), shared by every
// object on that thread.
//
// A record lives on the heap and is found through a per-thread pointer that
// has no destructor. A thread_local with a destructor would make the C++
// runtime of a DLL take a reference to the DLL until the thread ends: the
// DLL could not unload while such a thread lives, and when that thread was
// its last user the final unload would run inside the thread's exit, under
// the loader lock. So whoever owns the module frees the records: the DLL at
// thread and process detach, a POSIX program when a thread ends.
#pragma once

#include <memory>

namespace varnoke {

namespace detail {

struct ThreadRecord {
    virtual ~ThreadRecord() = default;
    const void* key = nullptr;
    ThreadRecord* next = nullptr;
};

template <class T>
struct TypedRecord final : ThreadRecord {
    T value{};
};

// Its address names the record type T.
template <class T>
inline char recordKey = 0;

ThreadRecord* FindRecord(const void* key) noexcept;
ThreadRecord& AddRecord(std::unique_ptr<ThreadRecord> record);

}  // namespace detail

// The calling thread's T, value-initialized at the thread's first use.
template <class T>
T& ThisThread() {
    const void* key = &detail::recordKey<T>;
    if (detail::ThreadRecord* found = detail::FindRecord(key))
        return static_cast<detail::TypedRecord<T>*>(found)->value;
    auto record = std::make_unique<detail::TypedRecord<T>>();
    record->key = key;
    return static_cast<detail::TypedRecord<T>&>(detail::AddRecord(std::move(record))).value;
}

// Where each thread keeps the pointer to its records: by default a
// thread_local pointer. A DLL that frees records at thread detach sets a slot
// of its own before any record exists, because its runtime may have torn
// down the thread's thread_local storage by then.
struct ThreadSlot {
    void* (*get)() noexcept;
    void (*set)(void* records) noexcept;
};
void UseThreadSlot(ThreadSlot slot) noexcept;

// Frees the calling thread's records; a later use starts afresh.
void FreeThisThreadRecords() noexcept;

// Frees every thread's records, for a module that is being unloaded: no
// thread may use them again.
void FreeAllThreadRecords() noexcept;

// How many threads hold records (for tests).
int ThreadsWithRecords() noexcept;

}  // namespace varnoke
