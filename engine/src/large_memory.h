// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace kestrin {

// Blocks of a few MiB and more come straight from the system, aligned to 2 MiB and marked for
// transparent huge pages: the count tables and record arrays are touched at random all over, and with
// 4 KiB pages filling them costs a page fault every 4 KiB and a TLB miss on almost every access.
// Smaller blocks come from the usual heap.
inline constexpr std::size_t hugePage = std::size_t{2} << 20;
inline constexpr std::size_t largeBlock = 2 * hugePage;

// The bytes of whole pages that hold a block of this size.
[[nodiscard]] inline std::size_t PageRounded(std::size_t bytes)
{
    static const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

[[nodiscard]] inline void* AllocateLarge(std::size_t bytes)
{
    if (bytes < largeBlock) {
        return ::operator new(bytes);
    }
    if (bytes > static_cast<std::size_t>(-1) - hugePage) {
        throw std::bad_alloc();
    }
    // Map a huge page more than asked, so that the block can start on a huge-page boundary.
    const std::size_t mapped = bytes + hugePage;
    void* mappedStart = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mappedStart == MAP_FAILED) {
        throw std::bad_alloc();
    }
    auto* start = static_cast<char*>(mappedStart);
    const auto address = reinterpret_cast<std::uintptr_t>(start);
    const std::size_t skipped = ((address + hugePage - 1) & ~(std::uintptr_t{hugePage} - 1)) - address;
    char* aligned = start + skipped;
    if (skipped > 0) {
        ::munmap(start, skipped);
    }
    // The tail is freed from the first page after the block: munmap refuses an address inside a page,
    // which would keep up to a huge page mapped for every block whose size is no whole number of pages.
    const std::size_t used = PageRounded(bytes);
    if (const std::size_t rest = mapped - skipped - used; rest > 0) {
        ::munmap(aligned + used, rest);
    }
    ::madvise(aligned, bytes, MADV_HUGEPAGE); // a hint: without it, 4 KiB pages
    return aligned;
}

inline void FreeLarge(void* block, std::size_t bytes) noexcept
{
    if (bytes < largeBlock) {
        ::operator delete(block);
    } else {
        ::munmap(block, bytes);
    }
}

// A standard allocator over AllocateLarge, for the containers that grow large.
template <typename T> struct LargeAllocator {
    using value_type = T;

    LargeAllocator() = default;
    template <typename U> LargeAllocator(const LargeAllocator<U>& /*other*/) noexcept {}

    [[nodiscard]] T* allocate(std::size_t count)
    {
        if (count > static_cast<std::size_t>(-1) / sizeof(T)) {
            throw std::bad_array_new_length();
        }
        return static_cast<T*>(AllocateLarge(count * sizeof(T)));
    }
    void deallocate(T* block, std::size_t count) noexcept { FreeLarge(block, count * sizeof(T)); }

    template <typename U> bool operator==(const LargeAllocator<U>& /*other*/) const noexcept { return true; }
};

// A block of bytes from AllocateLarge that gives itself back.
struct LargeFree {
    std::size_t bytes = 0;
    void operator()(char* block) const noexcept { FreeLarge(block, bytes); }
};
using LargeBytes = std::unique_ptr<char[], LargeFree>;
[[nodiscard]] inline LargeBytes AllocateLargeBytes(std::size_t bytes)
{
    return LargeBytes(static_cast<char*>(AllocateLarge(bytes)), LargeFree{bytes});
}

// A vector for the per-position arrays of large inputs.
template <typename T> using LargeVector = std::vector<T, LargeAllocator<T>>;

// The same allocator, but resize leaves new numbers as the memory holds them (zero, from the system),
// for arrays that are written whole before they are read: filling them twice costs a pass over memory.
template <typename T> struct UnfilledAllocator : LargeAllocator<T> {
    using value_type = T;
    template <typename U> struct rebind {
        using other = UnfilledAllocator<U>;
    };
    UnfilledAllocator() = default;
    template <typename U> UnfilledAllocator(const UnfilledAllocator<U>& /*other*/) noexcept {}
    template <typename U> void construct(U* at) noexcept { ::new (static_cast<void*>(at)) U; }
    template <typename U, typename... Args> void construct(U* at, Args&&... args)
    {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};
template <typename T> using UnfilledVector = std::vector<T, UnfilledAllocator<T>>;

} // namespace kestrin
