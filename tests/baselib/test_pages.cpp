// Memory taken straight from the system: zero-filled, aligned, writable to its end, counted by
// the allocation-fault hook like the heap, and given back.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "vtx_memory.h"

using namespace Vantorix;

namespace {

constexpr size_t kPage = 4096, kLargePage = size_t(2) << 20;

bool allZero(const uint8_t* p, size_t n)
{
    static const uint8_t zeros[kPage] = {};
    for (size_t at = 0; at < n; at += kPage) {
        const size_t len = n - at < kPage ? n - at : kPage;
        if (std::memcmp(p + at, zeros, len) != 0) return false;
    }
    return true;
}

#ifdef __linux__
// The process's mapped size in pages, which a region given back leaves as it was.
uint64_t mappedPages()
{
    unsigned long long pages = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%llu", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    return pages;
}
#endif

TEST(Pages, ZeroFilledAlignedAndWritableToTheEnd)
{
    struct Case {
        size_t size;
        size_t alignment;
    };
    const Case cases[] = {
        {0, kPage},          {1, kPage},
        {kPage, kPage},      {8192 + 3, kPage},
        {kLargePage - 1, kPage},
#ifndef _WIN32
        // Large regions sit on a large-page boundary where the system has them.
        {kLargePage, kLargePage}, {kLargePage + 1, kLargePage}, {3 * kLargePage + 4096, kLargePage},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        auto* p = static_cast<uint8_t*>(MemoryAllocator::allocatePages(c.size));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % c.alignment, 0u);
        EXPECT_TRUE(allZero(p, c.size));
        if (c.size) {
            std::memset(p, 0xA5, c.size);
            EXPECT_EQ(p[c.size - 1], 0xA5);
        }
        MemoryAllocator::freePages(p, c.size);
    }
}

TEST(Pages, FreshAfterReuse)
{
    // A region given back and taken again reads as zero, whatever was written before.
    for (int round = 0; round < 3; ++round) {
        auto* p = static_cast<uint8_t*>(MemoryAllocator::allocatePages(kLargePage));
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(allZero(p, kLargePage)) << round;
        std::memset(p, 0xFF, kLargePage);
        MemoryAllocator::freePages(p, kLargePage);
    }
}

TEST(Pages, FaultHookCountsThemWithTheHeap)
{
    struct Case {
        uint64_t failAt;
        bool pagesGiven, heapGiven;
    };
    // Pages first, then the heap: the hook refuses exactly the failAt-th of both routes.
    const Case cases[] = {{0, true, true}, {1, false, true}, {2, true, false}, {3, true, true}};
    MemoryAllocator* heap = MemoryAllocator::getDefault();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failAt);
        MemoryAllocator::injectFault(c.failAt);
        void* pages = MemoryAllocator::allocatePages(kLargePage);
        void* block = heap->allocate(64);
        EXPECT_EQ(MemoryAllocator::endFaultInjection(), 2u);
        EXPECT_EQ(pages != nullptr, c.pagesGiven);
        EXPECT_EQ(block != nullptr, c.heapGiven);
        MemoryAllocator::freePages(pages, kLargePage);
        heap->free(block);
    }
}

#ifdef __linux__
TEST(Pages, GivenBackWhole)
{
    for (size_t size : {size_t(8192), kLargePage, 5 * kLargePage + 12345}) {
        SCOPED_TRACE(size);
        const uint64_t before = mappedPages();
        void* p = MemoryAllocator::allocatePages(size);
        ASSERT_NE(p, nullptr);
        EXPECT_GE(mappedPages(), before + size / kPage);
        MemoryAllocator::freePages(p, size);
        EXPECT_EQ(mappedPages(), before);
    }
}
#endif

} // namespace
