#include "tests/failing_alloc.h"

#include <cstdlib>
#include <new>

namespace varnoke::test {
namespace {
// Constant-initialized and trivially destroyed: reading it never allocates.
constinit thread_local AllocationWatch* t_watch = nullptr;
}  // namespace

AllocationWatch::AllocationWatch(std::size_t failAt) noexcept : failAt_(failAt) {
    if (t_watch != nullptr) std::abort();
    t_watch = this;
}

AllocationWatch::~AllocationWatch() { t_watch = nullptr; }

namespace {

void* Allocate(std::size_t size, std::size_t alignment) noexcept {
    if (AllocationWatch* watch = t_watch; watch != nullptr && watch->Next()) return nullptr;
    if (size == 0) size = 1;
    if (alignment <= __STDCPP_DEFAULT_NEW_ALIGNMENT__) return std::malloc(size);
    // An align_val_t is a power of two, here past the default: a multiple of sizeof(void*).
    void* p = nullptr;
    return posix_memalign(&p, alignment, size) == 0 ? p : nullptr;
}

void* AllocateOrThrow(std::size_t size, std::size_t alignment) {
    if (void* p = Allocate(size, alignment)) return p;
    throw std::bad_alloc();
}

// Out of line: GCC would otherwise see free() on what operator new returned.
[[gnu::noinline]] void Release(void* p) noexcept { std::free(p); }

}  // namespace
}  // namespace varnoke::test

using varnoke::test::Allocate;
using varnoke::test::AllocateOrThrow;
using varnoke::test::Release;

void* operator new(std::size_t size) { return AllocateOrThrow(size, 0); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size, 0); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size, 0); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size, 0); }
void* operator new(std::size_t size, std::align_val_t a) { return AllocateOrThrow(size, static_cast<std::size_t>(a)); }
void* operator new[](std::size_t size, std::align_val_t a) {
    return AllocateOrThrow(size, static_cast<std::size_t>(a));
}
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return Allocate(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return Allocate(size, static_cast<std::size_t>(a));
}

void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, std::align_val_t) noexcept { Release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { Release(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { Release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { Release(p); }
