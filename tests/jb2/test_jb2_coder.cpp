// The number coder, driven by an echo of the encoder's decisions.
#include <gtest/gtest.h>

#include <random>

#include "djv_jb2coderimpl.h"
#include "jb2_test_util.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::JB2;
using namespace jb2test;

namespace {

// Answers every open decision with the encoder's bit, so codeNumber must return its value.
class EchoCoder : public JB2CoderImpl {
public:
    int codeBit(int bit, BitContext&) override { return bit; }
};

TEST(JB2CodeNumber, ReturnsTheValueItWasGiven)
{
    // Every value of small ranges, and the ends and samples of the widest: a floor division or
    // an unsigned comparison shows up first at the ends and near zero.
    EchoCoder coder;
    std::vector<int32_t> wide = {-262143, -262142, -2, -1, 0, 1, 2, 262141, 262142};
    std::mt19937 rng(5);
    for (int i = 0; i < 2000; ++i) wide.push_back(int32_t(rng() % 524286) - 262143);
    const std::pair<int32_t, int32_t> ranges[] = {{0, 11}, {0, 255}, {1, 1}, {-20, 20}, {-7, -3}, {3, 1000}};
    for (auto [low, high] : ranges) {
        NumberContext root = 0;
        for (int32_t v = low; v <= high; ++v) ASSERT_EQ(coder.codeNumber(low, high, v, root), v) << low << ".." << high;
    }
    NumberContext offsets = 0;
    for (int32_t v : wide) ASSERT_EQ(coder.codeNumber(-262143, 262142, v, offsets), v);
}

TEST(JB2CodeNumber, StaleRootsFailAndTreesStopAtTheNodeLimit)
{
    EchoCoder coder;
    NumberContext root = 0;
    coder.codeNumber(0, 11, 3, root);
    coder.resetNumberCoder(); // root now names a node that is gone
    expectThrow([&] { coder.codeNumber(0, 11, 3, root); }, 7, "Vantorix::DjVu::JB2::JB2CoderImpl::codeNumber",
                "JB2Codec.bad_number_of_context");

    struct SmallCoder : EchoCoder {
        SmallCoder() { nodeLimit_ = 100000; }
    } small;
    NumberContext roots[kNumberRoots] = {};
    std::mt19937 rng(3);
    expectThrow(
        [&] {
            for (uint64_t calls = 0;; ++calls)
                small.codeNumber(-262143, 262142, int32_t(rng() % 524286) - 262143, roots[calls % kNumberRoots]);
        },
        38, "Vantorix::DjVu::JB2::JB2CoderImpl::codeNumber", "JB2Codec: too many number contexts!");
    EXPECT_LE(small.getNodeCount(), 100000u);
}

} // namespace
