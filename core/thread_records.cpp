#include "core/thread_records.h"

#include <atomic>
#include <thread>
#include <utility>

namespace varnoke {
namespace {

// One thread's records, linked into the list of every thread's.
struct Records {
    detail::ThreadRecord* first = nullptr;
    Records* prev = nullptr;
    Records* next = nullptr;

    Records() = default;
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;
    ~Records() {
        while (first) delete std::exchange(first, first->next);
    }
};

thread_local void* ownSlot = nullptr;  // trivially destructible: nothing runs at thread exit
void* GetOwnSlot() noexcept { return ownSlot; }
void SetOwnSlot(void* records) noexcept { ownSlot = records; }
ThreadSlot slot{&GetOwnSlot, &SetOwnSlot};

// Guards `all` for a few pointer moves, never across a call: it may be taken
// at thread detach, where nothing may wait for long.
std::atomic_flag busy = ATOMIC_FLAG_INIT;
Records* all = nullptr;
int threads = 0;

class Guard {
public:
    Guard() noexcept {
        while (busy.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
    }
    ~Guard() { busy.clear(std::memory_order_release); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
};

Records* Mine() noexcept { return static_cast<Records*>(slot.get()); }

#if !defined(_WIN32)
// A POSIX program frees a thread's records when the thread ends.
struct Reaper {
    bool armed = false;
    ~Reaper() {
        if (armed) FreeThisThreadRecords();
    }
};
thread_local Reaper reaper;
#endif

}  // namespace

namespace detail {

ThreadRecord* FindRecord(const void* key) noexcept {
    const Records* mine = Mine();
    for (ThreadRecord* r = mine ? mine->first : nullptr; r; r = r->next)
        if (r->key == key) return r;
    return nullptr;
}

ThreadRecord& AddRecord(std::unique_ptr<ThreadRecord> record) {
    Records* mine = Mine();
    if (!mine) {
        mine = new Records;
        {
            Guard guard;
            mine->next = all;
            if (all) all->prev = mine;
            all = mine;
            ++threads;
        }
        slot.set(mine);
#if !defined(_WIN32)
        reaper.armed = true;
#endif
    }
    record->next = mine->first;
    mine->first = record.release();
    return *mine->first;
}

}  // namespace detail

void UseThreadSlot(ThreadSlot own) noexcept { slot = own; }

void FreeThisThreadRecords() noexcept {
    Records* mine = Mine();
    if (!mine) return;
    slot.set(nullptr);
    {
        Guard guard;
        (mine->prev ? mine->prev->next : all) = mine->next;
        if (mine->next) mine->next->prev = mine->prev;
        --threads;
    }
    delete mine;
}

void FreeAllThreadRecords() noexcept {
    Records* list = nullptr;
    {
        Guard guard;
        list = std::exchange(all, nullptr);
        threads = 0;
    }
    slot.set(nullptr);
    while (list) delete std::exchange(list, list->next);
}

int ThreadsWithRecords() noexcept {
    Guard guard;
    return threads;
}

}  // namespace varnoke
