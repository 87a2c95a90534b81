// The whole thumbnail path (storage, document, first page, thumbnail) run once per allocation
// of a clean run, with exactly that allocation refused. Each run either throws the allocator's
// Exception or draws the clean picture; whatever was built before the failure is released or
// stays usable, and LeakSanitizer (asan preset) sees every block freed.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "djv_document.h"
#include "testutil.h"
#include "thumbnail_testutil.h"
#include "vtx_memory.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;

namespace {

using Pixels = std::vector<uint8_t>;

// Small enough that one run per allocation stays quick under the sanitizers.
constexpr uint32_t kEdge = 64;

Pixels thumbnail(Page& page) { return vtxtest::thumbnailPixels(page, kEdge); }

struct Attempt {
    AutoPtr<Document> document; // null when the document could not be made
    Pixels pixels;
    bool thrown = false;
    int32_t code = 0;
    std::string message;
    uint64_t allocations = 0; // asked of the default allocator
};

// One pass over the path with allocation failAt refused (0: none).
Attempt attempt(const vtxtest::Bytes& file, uint64_t failAt)
{
    Attempt r;
    MemoryAllocator::injectFault(failAt);
    try {
        r.document = Document::create(vtxtest::streamOf(file));
        r.pixels = thumbnail(*r.document->getPages()[0]);
    } catch (const Exception& e) {
        r.thrown = true;
        r.code = e.getCode();
        r.message = e.what();
    }
    r.allocations = MemoryAllocator::endFaultInjection();
    return r;
}

struct Kind {
    const char* name;
    const char* file; // below the fixture folder
};

class AllocationFaults : public testing::TestWithParam<Kind> {};

TEST_P(AllocationFaults, EveryAllocationOfTheThumbnailPathFailsCleanly)
{
    const vtxtest::Bytes file = vtxtest::readFile(std::string(VTX_FIXTURE_DIR "/") + GetParam().file);
    ASSERT_FALSE(file.empty()) << GetParam().file;
    attempt(file, 0); // first-use statics of the library are made once, outside the count
    const Attempt clean = attempt(file, 0);
    ASSERT_FALSE(clean.thrown) << clean.message;
    ASSERT_GT(clean.allocations, 0u);

    uint64_t completed = 0; // refusals the library absorbs by design
    for (uint64_t n = 1; n <= clean.allocations; ++n) {
        Attempt faulty = attempt(file, n);
        ASSERT_GE(faulty.allocations, n) << "allocation " << n << " was never asked for";
        if (faulty.thrown) {
            EXPECT_EQ(faulty.code, errOutOfMemory) << "allocation " << n << ": " << faulty.message;
        } else {
            ++completed;
            EXPECT_EQ(faulty.pixels, clean.pixels) << "allocation " << n << " refused, yet a different picture";
        }
        // A document that survived draws the clean picture once memory is back.
        if (faulty.document) {
            EXPECT_EQ(thumbnail(*faulty.document->getPages()[0]), clean.pixels) << "after allocation " << n;
        }
        if (HasFailure()) break;
    }
    RecordProperty("fault_points", std::to_string(clean.allocations));
    std::printf("%s: %llu fault points, %llu absorbed\n", GetParam().name,
                static_cast<unsigned long long>(clean.allocations), static_cast<unsigned long long>(completed));
}

INSTANTIATE_TEST_SUITE_P(Kinds, AllocationFaults,
                         testing::Values(Kind{"iw44_photo", "kinds/photo.djv"},
                                         Kind{"jb2_shared_dictionary", "kinds/dict.djv"},
                                         Kind{"mmr", "mmr/text_odd_s.djvu"},
                                         Kind{"compound", "kinds/compound.djv"},
                                         Kind{"bundled", "kinds/bundled.djv"}),
                         [](const testing::TestParamInfo<Kind>& info) { return std::string(info.param.name); });

} // namespace

TEST(AllocationHook, CountsAndRefusesOnlyTheChosenAllocation)
{
    MemoryAllocator* heap = MemoryAllocator::getDefault();
    MemoryAllocator::injectFault(3);
    void* blocks[4];
    for (void*& b : blocks) b = heap->allocate(16);
    EXPECT_EQ(MemoryAllocator::endFaultInjection(), 4u);
    EXPECT_NE(blocks[0], nullptr);
    EXPECT_NE(blocks[1], nullptr);
    EXPECT_EQ(blocks[2], nullptr);
    EXPECT_NE(blocks[3], nullptr);
    for (void* b : blocks) heap->free(b);

    // Off again: nothing is refused or counted.
    void* after = heap->allocate(16);
    EXPECT_NE(after, nullptr);
    heap->free(after);
    MemoryAllocator::injectFault(0);
    EXPECT_EQ(MemoryAllocator::endFaultInjection(), 0u);

    // A refused array allocation is the array's out-of-memory Exception.
    MemoryAllocator::injectFault(1);
    const vtxtest::Thrown t = vtxtest::thrownBy([] { ByteArray bytes(100); });
    MemoryAllocator::endFaultInjection();
    EXPECT_EQ(t.code, errOutOfMemory) << t.message;
}
