// The number coder, driven by an echo of the encoder's decisions.
#include <gtest/gtest.h>

#include <random>

#include "jb2_test_util.h"
#include "jb2_testwriter.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace jb2test;

namespace {

// Answers every open decision with the encoder's bit, so codeNumber must return its value;
// counts the decisions that were really asked.
class EchoCoder : public JB2CoderImpl {
public:
    int codeBit(int bit, BitContext&) override { return ++asked, bit; }
    int asked = 0;
};

TEST(JB2CodeNumber, ReturnsTheValueItWasGiven)
{
    // Every value of small ranges, and the extremes and samples of the widest: a floor division
    // or an unsigned comparison shows up first at the ends and near zero.
    EchoCoder coder;
    std::vector<int32_t> wide = {-262143, -262142, -131072, -2, -1, 0, 1, 2, 131071, 262141, 262142};
    std::mt19937 rng(5);
    for (int i = 0; i < 2000; ++i) wide.push_back(int32_t(rng() % 524286) - 262143);
    const std::pair<int32_t, int32_t> ranges[] = {{0, 11}, {0, 255}, {1, 1}, {-20, 20}, {-7, -3}, {3, 1000}, {1, 2}};
    for (auto [low, high] : ranges) {
        NumberContext root = 0;
        for (int32_t v = low; v <= high; ++v) ASSERT_EQ(coder.codeNumber(low, high, v, root), v) << low << ".." << high;
    }
    NumberContext offsets = 0, sizes = 0;
    for (int32_t v : wide) ASSERT_EQ(coder.codeNumber(-262143, 262142, v, offsets), v);
    for (int32_t v : {0, 1, 2, 3, 1000, 262141, 262142}) ASSERT_EQ(coder.codeNumber(0, 262142, v, sizes), v);
}

TEST(JB2CodeNumber, DecisionsThatTheRangeSettlesReadNothing)
{
    EchoCoder coder;
    NumberContext root = 0;
    EXPECT_EQ(coder.codeNumber(0, -1, 0, root), 0); // an empty library yields 0
    EXPECT_EQ(coder.codeNumber(5, 5, 5, root), 5);
    EXPECT_EQ(coder.asked, 0);
    EXPECT_EQ(coder.codeNumber(1, 2, 2, root), 2); // exactly one decision open
    EXPECT_EQ(coder.asked, 1);
}

TEST(JB2CodeNumber, RootsNamingNoLiveNodeFail)
{
    EchoCoder coder;
    NumberContext root = 0;
    coder.codeNumber(0, 11, 3, root);
    NumberContext bad = coder.getNodeCount();
    expectThrow([&] { coder.codeNumber(0, 11, 3, bad); }, 7, "Vantorix::DjVu::JB2::JB2CoderImpl::codeNumber",
                "JB2Codec.bad_number_of_context");
    coder.resetNumberCoder();
    EXPECT_EQ(coder.getNodeCount(), 1u);
    EXPECT_THROW(coder.codeNumber(0, 11, 3, root), Exception); // allocated before the reset
}

TEST(JB2CodeNumber, TreesStopGrowingAtTheNodeLimit)
{
    struct SmallCoder : EchoCoder {
        SmallCoder() { nodeLimit_ = 100000; }
    } coder;
    NumberContext roots[kNumberRoots] = {};
    std::mt19937 rng(3);
    const auto t = vtxtest::thrownBy([&] {
        for (uint64_t calls = 0;; ++calls) {
            int32_t v = int32_t(rng() % 524286) - 262143;
            ASSERT_EQ(coder.codeNumber(-262143, 262142, v, roots[calls % kNumberRoots]), v);
        }
    });
    EXPECT_EQ(t.code, 38);
    EXPECT_GT(coder.getNodeCount(), 100000u - 20000u);
    EXPECT_LE(coder.getNodeCount(), 100000u);
    EXPECT_GT(JB2Limits::kMaxNumberNodes, 100000u); // what real decoders get
}

} // namespace
