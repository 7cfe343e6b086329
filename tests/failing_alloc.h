// The native test program's own operator new and delete (all the standard
// forms, tests/failing_alloc.cpp): they count this thread's allocations while
// a watch lives and make a chosen one of them fail, so that the out-of-memory
// paths run on demand. With no watch they only allocate, as the library's do.
//
// Not in the Windows test program, nor in the thread-sanitized matcher-only
// one: each of those has its own counting operator new.
#pragma once

#include <cstddef>

namespace varnoke::test {

// Watches this thread's allocations from its construction to its end; one
// at a time per thread (a second one aborts the program).
class AllocationWatch {
public:
    // failAt 0 fails none; n makes the n-th allocation from now fail (counting
    // from 1), once: std::bad_alloc, or nullptr from the nothrow forms.
    explicit AllocationWatch(std::size_t failAt = 0) noexcept;
    ~AllocationWatch();
    AllocationWatch(const AllocationWatch&) = delete;
    AllocationWatch& operator=(const AllocationWatch&) = delete;

    // Allocations asked for so far, the failed one included.
    std::size_t Count() const noexcept { return count_; }
    // Whether the allocation chosen to fail was reached.
    bool Failed() const noexcept { return failAt_ != 0 && count_ >= failAt_; }

    // Counts one allocation; true when it is the one to fail. For the
    // allocation functions only.
    bool Next() noexcept { return ++count_ == failAt_; }

private:
    std::size_t count_ = 0;
    const std::size_t failAt_;
};

// The allocations `body` makes on this thread.
template <class Body>
std::size_t AllocationsOf(Body&& body) {
    AllocationWatch watch;
    body();
    return watch.Count();
}

}  // namespace varnoke::test
