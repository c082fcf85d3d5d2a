// SPDX-License-Identifier: MIT
// The large blocks that come straight from the system.

#include "large_memory.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

namespace kestrin {
namespace {

// A large block gives back all of its address space, also when its size is no whole number of pages.
TEST(LargeMemory, ABlockIsFreedWhole)
{
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const auto mapped = [&](const char* at) { return ::msync(const_cast<char*>(at), page, MS_ASYNC) == 0; };
    for (const std::size_t bytes : {largeBlock, largeBlock + 1, largeBlock + page + 123}) {
        SCOPED_TRACE(bytes);
        auto* block = static_cast<char*>(AllocateLarge(bytes));
        const char* end = block + PageRounded(bytes);
        EXPECT_TRUE(mapped(end - page));
        EXPECT_FALSE(mapped(end)); // the tail of the mapping is gone at once
        FreeLarge(block, bytes);
        EXPECT_FALSE(mapped(block));
        EXPECT_FALSE(mapped(end - page));
    }
}

} // namespace
} // namespace kestrin
