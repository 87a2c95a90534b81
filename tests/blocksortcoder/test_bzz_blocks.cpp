// Crafted BZZ payloads: the stream's reading rules, and shapes that `bzz -e` never makes (tiny
// blocks, every speed, repeated markers, broken blocks) decoded by DjVuLibre's `bzz -d` and by
// us: same bytes, or both refuse.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>

#include "bzz_testutil.h"
#include "bzz_testwriter.h"

using namespace Vantorix;
using namespace bzztest;
using vtxtest::contains;
using vtxtest::thrownBy;
using zptest::BzzTestWriter;

namespace {

namespace fs = std::filesystem;

// The decoded bytes, or nothing when the decoder refuses the payload.
using Outcome = std::optional<std::vector<uint8_t>>;

Outcome reference(const std::vector<uint8_t>& payload, const std::string& tag)
{
    // One folder per process (the release and ASan runs may overlap), removed at exit.
    static const struct TempDir {
        fs::path path = fs::temp_directory_path() / ("vtx_bzz_" + std::to_string(std::random_device{}()));
        TempDir() { fs::create_directories(path); }
        ~TempDir() { fs::remove_all(path); }
    } temp;
    fs::path in = temp.path / (tag + ".bzz"), out = temp.path / (tag + ".out");
    std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(payload.data()), std::streamsize(payload.size()));
    std::string cmd = "bzz -d '" + in.string() + "' '" + out.string() + "' 2>/dev/null";
    return std::system(cmd.c_str()) == 0 ? Outcome(readFile(out)) : std::nullopt;
}

Outcome ours(const std::vector<uint8_t>& payload)
{
    Outcome o;
    vtxtest::thrownBy([&] { o = inflateAll(payload); });
    return o;
}

// Without DjVuLibre at hand (as under Wine) there is nothing to compare with.
bool haveReference()
{
#ifdef _WIN32
    return false;
#else
    static const bool found = std::system("command -v bzz >/dev/null 2>&1") == 0;
    return found;
#endif
}

Outcome expectSameAsReference(const std::vector<uint8_t>& payload, const std::string& tag)
{
    Outcome o = ours(payload);
    if (!haveReference()) return o;
    EXPECT_EQ(o, reference(payload, tag)) << tag; // the same bytes, or both refuse
    return o;
}

AutoPtr<DjVu::InflateStream> open(const std::vector<uint8_t>& payload) { return DjVu::InflateStream::create(streamOf(payload)); }

const char* const kDecode = "_Vtx_Internal_NS_::InflateStreamImpl::decode";

// The stream of the blocks `build` writes, ended.
template <class F>
std::vector<uint8_t> payloadOf(F&& build)
{
    BzzTestWriter w;
    build(w);
    w.end();
    return w.finish();
}

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed, int alphabet)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(rng() % alphabet);
    return v;
}

} // namespace

TEST(BzzStream, EmptyStreamsZeroRequestsAndRefusals)
{
    for (const auto& payload : {std::vector<uint8_t>{}, payloadOf([](BzzTestWriter&) {})}) {
        auto z = open(payload);
        EXPECT_FALSE(z->isEof());
        uint8_t buf[8];
        EXPECT_EQ(z->readBytes(buf, 8, false), 0u);
        EXPECT_TRUE(z->isEof());
        auto e = open(payload);
        vtxtest::expectThrow([&] { e->readBytes(buf, 8, true); }, 26, "_Vtx_Internal_NS_::InflateStreamImpl::readBytes",
                             "Could not read 'size' many bytes");
        EXPECT_TRUE(e->isEof());
    }
    // The first block is oversized: any decoding would throw.
    BzzTestWriter w;
    w.blockHeader(4194305);
    auto z = open(w.finish());
    EXPECT_EQ(z->readBytes(nullptr, 0, true), 0u);
    EXPECT_FALSE(z->isEof());
    vtxtest::expectThrow([&] { z->readBytes(nullptr, 1, false); }, 26, kDecode, "Stream corrupt");

    EXPECT_EQ(thrownBy([&] { z->writeBytes("x", 1); }).code, 28);
    EXPECT_EQ(thrownBy([&] { z->flushBuffer(); }).code, 28);
    auto none = thrownBy([] { DjVu::InflateStream::create(nullptr); });
    EXPECT_TRUE(none.code == 26 && contains(none.message, "no stream")) << none.message;
}

// Our writer's payloads at every speed and block size come back whole, and as `bzz -d` reads them.
TEST(BzzCrossCheck, EverySpeedAndBlockSize)
{
    const std::string text = "Hidden text of a page: lines, words and characters, with zones and their rectangles. ";
    std::vector<uint8_t> prose;
    while (prose.size() < 30000) prose.insert(prose.end(), text.begin(), text.end());
    const std::vector<std::vector<uint8_t>> inputs = {
        {'a'}, {'b', 'a', 'n', 'a', 'n', 'a'}, randomBytes(3000, 3, 256), randomBytes(20000, 4, 4),
        randomBytes(30000, 5, 26), prose, std::vector<uint8_t>(3000, 0), std::vector<uint8_t>(3000, 255)};
    for (int fshift = 0; fshift <= 2; ++fshift) {
        for (size_t blockBytes : {size_t(1), size_t(7), size_t(1000), size_t(40000)}) {
            for (size_t i = 0; i < inputs.size(); ++i) {
                if (blockBytes == 1 && inputs[i].size() > 3000) continue;
                std::string tag = "speed" + std::to_string(fshift) + "_block" + std::to_string(blockBytes) + "_" + std::to_string(i);
                EXPECT_EQ(expectSameAsReference(BzzTestWriter::compress(inputs[i], fshift, blockBytes), tag), inputs[i])
                    << tag;
            }
        }
    }
}

TEST(BzzCrossCheck, OddAndBrokenBlocks)
{
    // The walk passes the marker's row and comes back to it: accepted by both as "\0a".
    expectSameAsReference(payloadOf([](BzzTestWriter& w) { w.columnBlock({'a', -1, 'b'}, 0); }), "shortcycle");
    // "b\0a" sorts to 'a', 'b', 0, marker. Coding its 0 byte as a marker stores the same byte
    // and leaves the list alone; the later, real marker then replaces it.
    auto twoMarkers = payloadOf([](BzzTestWriter& w) {
        w.blockHeader(4);
        BzzTestWriter::MtfModel m;
        w.index(m.encode('a', 0)), w.index(m.encode('b', 0)), w.marker(), w.marker();
    });
    EXPECT_EQ(expectSameAsReference(twoMarkers, "twomarkers"), (std::vector<uint8_t>{'b', 0, 'a'}));

    // Broken blocks: both refuse, we with our message.
    const std::pair<const char*, std::vector<uint8_t>> broken[] = {
        // "ba" then the marker: bytes at rows 2 and 1, the walk goes 0 -> 2 (the marker's row,
        // which leads to row 1) and stops there, off the marker.
        {"offmarker", payloadOf([](BzzTestWriter& w) { w.columnBlock({'b', 'a', -1}, 0); })},
        // A marker in the first slot of a longer block is never where a walk ends.
        {"marker0", payloadOf([](BzzTestWriter& w) { w.columnBlock({-1, 'a', 'b'}, 1); })},
        {"nomarker", payloadOf([](BzzTestWriter& w) { w.blockHeader(3), w.index(0), w.index(5), w.index(1); })},
        {"oversized", payloadOf([](BzzTestWriter& w) { w.blockHeader(4194305); })}, // 4096 KiB symbols at most
    };
    for (const auto& [tag, payload] : broken) {
        EXPECT_FALSE(expectSameAsReference(payload, tag)) << tag;
        vtxtest::expectThrow([&] { inflateAll(payload); }, 26, kDecode, "Stream corrupt");
    }

    // A block of one symbol, the marker, holds no bytes: its walk has no step and ends on the
    // marker. DjVuLibre's decoder refuses such a block ("Corrupted decoder input"); we read on
    // to the next block, which is larger.
    auto markerOnly = payloadOf([](BzzTestWriter& w) { w.blockHeader(1), w.marker(), w.block({'h', 'i'}, 2); });
    EXPECT_EQ(ours(markerOnly), (std::vector<uint8_t>{'h', 'i'}));
    if (haveReference()) {
        EXPECT_FALSE(reference(markerOnly, "markeronly")) << "DjVuLibre now accepts it";
    }
}
