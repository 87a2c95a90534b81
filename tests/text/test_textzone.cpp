// Decoding hidden text: zone placement, text ranges, turning, and what broken payloads do.
#include <gtest/gtest.h>

#include <vector>

#include "bzz_testwriter.h"
#include "djv_chunkimpls.h"
#include "djv_text.h"
#include "testutil.h"
#include "text_testutil.h"

namespace {

using namespace Vantorix;
using namespace Vantorix::DjVu;
using vtxtest::StoredZone;

constexpr const char* kDecode = "Vantorix::DjVu::TextZone::decode";

PageInfo pageInfo(uint32_t rotation, uint32_t width = 200, uint32_t height = 100)
{
    PageInfo info;
    info.width = width;
    info.height = height;
    info.minorVersion = 26;
    info.setRotation(rotation);
    return info;
}

AutoPtr<TextZone> decode(const std::string& payload, const PageInfo& info, const char* id = "TXTa")
{
    return TextZone::decode(*ChunkImpl::create(id, payload.data(), uint32_t(payload.size())), info);
}

// A page of height 100 holding one paragraph-like page zone with two lines; the first line
// holds two words, the second one word. Text "ab cd\nef".
const std::string kText = "ab cd\nef";
StoredZone sample()
{
    StoredZone word1{6, 10, 2, 40, 18, 0, 3, {}};
    StoredZone word2{6, 5, 1, 30, 18, 0, 3, {}};
    StoredZone word3{6, 0, 0, 50, 20, 0, 2, {}};
    StoredZone line1{5, 10, 5, 150, 20, 0, 6, {word1, word2}};
    StoredZone line2{5, 0, 3, 100, 20, 0, 2, {word3}};
    return StoredZone{1, 0, 0, 200, 100, 0, 8, {line1, line2}};
}

const TextZone& child(const TextZone& z, uint32_t i) { return *z.getChildren()[i]; }

TEST(TextZonePlacement, SiblingsAndParentsGiveAbsoluteTopDownRectangles)
{
    AutoPtr<TextZone> root = decode(vtxtest::textPayload(kText, sample()), pageInfo(0));
    const TextZone& line1 = child(*root, 0);
    const TextZone& line2 = child(*root, 1);
    struct Case {
        const TextZone* zone;
        ZoneRect rect;
    } cases[] = {
        // First child: relative to the parent's left and top edges.
        {&child(line1, 0), {20, 7, 40, 18}},
        // A word after a word: after the previous word's right edge, above its bottom edge.
        {&child(line1, 1), {65, 6, 30, 18}},
        // Inside a line stored below the first line.
        {&child(line2, 0), {10, 28, 50, 20}},
    };
    for (const Case& c : cases) EXPECT_EQ(c.zone->getRect(), c.rect);
    // A parent answers the box around its children, not what it stores.
    EXPECT_EQ(line1.getRect(), (ZoneRect{20, 6, 75, 19}));
    EXPECT_EQ(root->getRect(), (ZoneRect{10, 6, 85, 42}));
    EXPECT_EQ(root->getType(), TextZone::page);
    EXPECT_EQ(child(line1, 1).getType(), TextZone::word);
}

TEST(TextZonePlacement, OtherTypesStackSideBySideAndPagesParagraphsLinesVertically)
{
    // The same stored second child, once as a word (beside) and once as a paragraph (below).
    for (uint8_t type : {2, 3, 4, 6, 7, 1, 5}) {
        SCOPED_TRACE(int(type));
        StoredZone first{type, 10, 10, 20, 10, 0, 0, {}};
        StoredZone second{type, 5, 3, 20, 10, 0, 0, {}};
        StoredZone root{1, 0, 0, 200, 100, 0, 0, {first, second}};
        AutoPtr<TextZone> z = decode(vtxtest::textPayload("", root), pageInfo(0));
        const bool vertical = type == 1 || type == 4 || type == 5;
        // first: x 10, bottom-up y 100 - 10 - 10 = 80, top 10; its bottom edge is 80.
        EXPECT_EQ(child(*z, 0).getRect(), (ZoneRect{10, 10, 20, 10}));
        ZoneRect want = vertical ? ZoneRect{15, 23, 20, 10} : ZoneRect{35, 7, 20, 10};
        EXPECT_EQ(child(*z, 1).getRect(), want);
    }
}

TEST(TextZoneText, LeavesOwnTheirRangeAndParentsJoinWithoutSeparators)
{
    AutoPtr<TextZone> root = decode(vtxtest::textPayload(kText, sample()), pageInfo(0));
    EXPECT_EQ(child(child(*root, 0), 0).getText(), "ab ");
    EXPECT_EQ(child(child(*root, 0), 1).getText(), "cd\n");
    EXPECT_EQ(child(*root, 0).getText(), "ab cd\n");
    EXPECT_EQ(root->getText(), kText);
    EXPECT_EQ(root->getPageText(), kText);
    EXPECT_EQ(child(*root, 0).getPageText(), "");

    // Words whose ranges leave out the blanks join without them.
    StoredZone w1{6, 0, 0, 5, 5, 0, 2, {}}, w2{6, 0, 0, 5, 5, 1, 2, {}};
    StoredZone line{5, 0, 0, 10, 5, 0, 5, {w1, w2}};
    EXPECT_EQ(decode(vtxtest::textPayload("ab cd", line), pageInfo(0))->getText(), "abcd");
}

TEST(TextZoneText, RangesOutsideTheTextAreLimitedToIt)
{
    struct Case {
        int32_t offset;
        uint32_t length;
        const char* text;
    } cases[] = {{0, 3, "abc"}, {1, 100, "bc"}, {-2, 3, "a"}, {-10, 3, ""}, {5, 2, ""}, {3, 0, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offset);
        StoredZone leaf{6, 0, 0, 5, 5, c.offset, c.length, {}};
        EXPECT_EQ(decode(vtxtest::textPayload("abc", leaf), pageInfo(0))->getText(), c.text);
    }
}

TEST(TextZoneText, EmptyTextAndChildlessRootGiveOneEmptyZone)
{
    AutoPtr<TextZone> root = decode(vtxtest::textPayload("", StoredZone{1, 0, 0, 200, 100, 0, 0, {}}), pageInfo(0));
    EXPECT_TRUE(root->getChildren().empty());
    EXPECT_EQ(root->getText(), "");
    EXPECT_EQ(root->getRect(), (ZoneRect{0, 0, 200, 100}));
}

TEST(TextZoneRotation, EveryPairOfTurnsAgreesWithDecodingAtTheTarget)
{
    const std::string payload = vtxtest::textPayload(kText, sample());
    for (uint32_t from = 0; from < 4; ++from)
        for (uint32_t to = 0; to < 4; ++to) {
            AutoPtr<TextZone> root = decode(payload, pageInfo(from));
            root->setRotation(to);
            EXPECT_EQ(root->getRotation(), to);
            EXPECT_EQ(vtxtest::leafRects(*root), vtxtest::leafRects(*decode(payload, pageInfo(to)))) << from << " -> " << to;
        }
}

TEST(TextZoneRotation, OldPagesCarryNoOrientation)
{
    PageInfo info = pageInfo(1);
    info.minorVersion = 21;
    AutoPtr<TextZone> root = decode(vtxtest::textPayload(kText, sample()), info);
    EXPECT_EQ(root->getRotation(), 0u);
    EXPECT_EQ(child(child(*root, 0), 0).getRect(), (ZoneRect{20, 7, 40, 18}));
}

TEST(TextZoneRotation, OnlyTheRootTurnsAndOnlyToFourOrientations)
{
    AutoPtr<TextZone> root = decode(vtxtest::textPayload(kText, sample()), pageInfo(0));
    const char* fn = "_Vtx_Internal_NS_::TextZoneImpl::setRotation";
    vtxtest::expectThrow([&] { root->setRotation(4); }, 7, fn, "errInvalidParam");
    vtxtest::expectThrow([&] { root->getChildren()[0]->setRotation(1); }, 7, fn, "errInvalidParam");
}

TEST(TextZoneDecode, Errors)
{
    const std::string good = vtxtest::textPayload(kText, sample());
    vtxtest::expectThrow([&] { decode(good, pageInfo(0), "ANTa"); }, 7, kDecode, "The input is not TXT* chunk!");
    vtxtest::expectThrow([&] { decode(vtxtest::textPayload(kText, sample(), 2), pageInfo(0)); }, 20, kDecode,
                         "Unknown TXT? chunk format!");
    vtxtest::expectThrow([&] { decode(vtxtest::textPayload(kText, sample(), 0), pageInfo(0)); }, 20, kDecode,
                         "Unknown TXT? chunk format!");
}

TEST(TextZoneDecode, EveryTruncationThrows)
{
    const std::string good = vtxtest::textPayload(kText, sample());
    for (size_t n = 0; n < good.size(); ++n)
        EXPECT_TRUE(vtxtest::thrownBy([&] { decode(good.substr(0, n), pageInfo(0)); }).thrown) << n;
    std::vector<uint8_t> packed =
        zptest::BzzTestWriter::compress(std::vector<uint8_t>(good.begin(), good.end() - 1), 0, 4096);
    vtxtest::expectThrow([&] { decode(std::string(packed.begin(), packed.end()), pageInfo(0), "TXTz"); }, 26,
                         "_Vtx_Internal_NS_::InflateStreamImpl::readBytes", "Could not read 'size' many bytes");
}

TEST(TextZoneDecode, HostileNestingIsRefused)
{
    StoredZone z{7, 0, 0, 1, 1, 0, 0, {}};
    for (int i = 0; i < 100; ++i) z = StoredZone{7, 0, 0, 1, 1, 0, 0, {z}};
    vtxtest::expectThrow([&] { decode(vtxtest::textPayload("", z), pageInfo(0)); }, 20,
                         "_Vtx_Internal_NS_::ZoneReader::read", "Text zones nest too deeply!");
}

} // namespace
