// The number coder and the location state, driven by scripted and ZP-coded decisions.
#include <gtest/gtest.h>

#include <random>

#include "djv_jb2.h"
#include "jb2_testwriter.h"
#include "jb2_test_util.h"
#include "vtx_exception.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::JB2;
using namespace jb2test;

namespace {

// Answers every open decision with the encoder's bit, so codeNumber must return its value;
// counts the decisions that were really asked.
class EchoCoder : public JB2CoderImpl {
public:
    int codeBit(int bit, BitContext&) override
    {
        ++asked;
        return bit;
    }
    int asked = 0;
};

// Reads decisions back from ZP-coded bytes, with the location state opened up.
class ZPReader : public JB2CoderImpl {
public:
    explicit ZPReader(const std::vector<uint8_t>& bytes) : stream_(streamOf(bytes)), zp_(stream_.get()) {}
    int codeBit(int, BitContext& ctx) override { return zp_.decode(ctx); }
    using JB2CoderImpl::codeRelativeLocation;
    using JB2CoderImpl::startImage;

private:
    AutoPtr<Stream> stream_;
    ZPDecoder zp_;
};

// Codes locations without a record around them.
class LocationWriter : public JB2TestWriter {
public:
    void at(Where where)
    {
        codeBit(where.newLine, offsetTypeContext_);
        number(-262143, 262142, where.dx, where.newLine ? RootNewLineX : RootSameLineX);
        number(-262143, 262142, where.dy, where.newLine ? RootNewLineY : RootSameLineY);
    }
};

TEST(JB2CodeNumber, ReturnsTheValueItWasGiven)
{
    // Every value of small ranges, and the extremes and samples of the widest: a floor division
    // or an unsigned comparison shows up first at the ends and near zero.
    const std::pair<int32_t, int32_t> ranges[] = {{0, 11}, {0, 255}, {1, 1}, {-20, 20}, {-7, -3}, {3, 1000}, {1, 2}};
    for (auto [low, high] : ranges) {
        EchoCoder coder;
        NumberContext root = 0;
        for (int32_t v = low; v <= high; ++v) ASSERT_EQ(coder.codeNumber(low, high, v, root), v) << low << ".." << high;
    }
    EchoCoder coder;
    NumberContext offsets = 0, sizes = 0;
    std::mt19937 rng(5);
    std::vector<int32_t> values = {-262143, -262142, -131072, -2, -1, 0, 1, 2, 131071, 262141, 262142};
    for (int i = 0; i < 2000; ++i) values.push_back(int32_t(rng() % 524286) - 262143);
    for (int32_t v : values) ASSERT_EQ(coder.codeNumber(-262143, 262142, v, offsets), v);
    for (int32_t v : {0, 1, 2, 3, 1000, 262141, 262142}) ASSERT_EQ(coder.codeNumber(0, 262142, v, sizes), v);
}

TEST(JB2CodeNumber, DecisionsThatTheRangeSettlesReadNothing)
{
    EchoCoder coder;
    NumberContext root = 0;
    // An empty library: 0..-1 settles every decision and yields 0.
    EXPECT_EQ(coder.codeNumber(0, -1, 0, root), 0);
    EXPECT_EQ(coder.asked, 0);
    EXPECT_EQ(coder.codeNumber(5, 5, 5, root), 5);
    EXPECT_EQ(coder.asked, 0);
    // 1..2 leaves exactly one decision open.
    EXPECT_EQ(coder.codeNumber(1, 2, 2, root), 2);
    EXPECT_EQ(coder.asked, 1);
}

TEST(JB2CodeNumber, RootNamingAnUnallocatedNodeFails)
{
    EchoCoder coder;
    NumberContext root = 0;
    coder.codeNumber(0, 11, 3, root);
    NumberContext bad = coder.getNodeCount();
    try {
        coder.codeNumber(0, 11, 3, bad);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.getCode(), 7);
        EXPECT_NE(std::string(e.what()).find(
                      "Vantorix::DjVu::JB2::JB2CoderImpl::codeNumber: Error 7: JB2Codec.bad_number_of_context"),
                  std::string::npos);
    }
    coder.resetNumberCoder();
    EXPECT_EQ(coder.getNodeCount(), 1u);
    NumberContext stale = root; // allocated before the reset
    EXPECT_THROW(coder.codeNumber(0, 11, 3, stale), Exception);
}

TEST(JB2CodeNumber, TreesStopGrowingAtTheNodeLimit)
{
    struct SmallCoder : EchoCoder {
        SmallCoder() { nodeLimit_ = 100000; }
    } coder;
    NumberContext roots[kNumberRoots] = {};
    std::mt19937 rng(3);
    uint64_t calls = 0;
    try {
        for (;; ++calls) {
            int32_t v = int32_t(rng() % 524286) - 262143;
            ASSERT_EQ(coder.codeNumber(-262143, 262142, v, roots[calls % kNumberRoots]), v);
        }
    } catch (const Exception& e) {
        EXPECT_EQ(e.getCode(), 38);
    }
    EXPECT_GT(coder.getNodeCount(), 100000u - 20000u);
    EXPECT_LE(coder.getNodeCount(), 100000u);
    EXPECT_GT(JB2Limits::kMaxNumberNodes, 100000u); // what real decoders get
}

TEST(JB2Location, SameLineBottomIsTheMedianOfTheLastThree)
{
    LocationWriter writer;
    writer.at({true, 5, -990}); // 1x1 shape, bottom 10 on a 1000-row page
    writer.at({false, 2, 40});  // bottom 50: median(10, 50, 10) = 10
    writer.at({false, 2, 2});   // bottom 12: median(10, 50, 12) = 12
    writer.at({false, 2, 0});   // bottom 12 again
    writer.at({true, -3, -5});  // next line from the first shape of this one
    ZPReader reader(writer.finish());
    reader.startImage(1000, 1000);
    uint32_t x, y;
    reader.codeRelativeLocation(1, 1, x, y);
    EXPECT_EQ(x, 4u);
    EXPECT_EQ(y, 990u);
    reader.codeRelativeLocation(1, 1, x, y);
    EXPECT_EQ(x, 6u);
    EXPECT_EQ(y, 950u);
    reader.codeRelativeLocation(1, 1, x, y);
    EXPECT_EQ(x, 8u);
    EXPECT_EQ(y, 998u - 10u); // bottom 10 + 2
    reader.codeRelativeLocation(1, 1, x, y);
    EXPECT_EQ(x, 10u);
    EXPECT_EQ(y, 988u);
    reader.codeRelativeLocation(3, 2, x, y); // top = 10 - 5 = 5, bottom = 4
    EXPECT_EQ(x, 1u);
    EXPECT_EQ(y, 1000u - 4u - 2u + 1u);
}

TEST(JB2Location, WithoutStartRecordStartsFromZeros)
{
    LocationWriter writer;
    writer.at({true, 5, 3});
    ZPReader reader(writer.finish());
    uint32_t x, y;
    reader.codeRelativeLocation(2, 4, x, y); // bottom = 3 - 4 + 1 = 0, y = 0 - 0 - 4 + 1
    EXPECT_EQ(x, 4u);
    EXPECT_EQ(int32_t(y), -3);
}

} // namespace
