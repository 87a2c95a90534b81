// Payloads of shapes that `bzz -e` never makes (tiny blocks, every speed, repeated markers,
// broken blocks), decoded by DjVuLibre's `bzz -d` and by us: same bytes, or both refuse.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "bzz_testutil.h"
#include "bzz_testwriter.h"
#include "vtx_exception.h"

using namespace bzztest;
using zptest::BzzTestWriter;

namespace {

namespace fs = std::filesystem;

struct Outcome {
    bool ok;
    std::vector<uint8_t> bytes;
};

Outcome reference(const std::vector<uint8_t>& payload, const std::string& tag)
{
    // One folder per process (the release and ASan runs may overlap), removed at exit.
    static const struct TempDir {
        fs::path path = fs::temp_directory_path() / ("vtx_bzz_" + std::to_string(std::random_device{}()));
        TempDir() { fs::create_directories(path); }
        ~TempDir() { fs::remove_all(path); }
    } temp;
    const fs::path& dir = temp.path;
    fs::path in = dir / (tag + ".bzz"), out = dir / (tag + ".out");
    std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(payload.data()), std::streamsize(payload.size()));
    std::string cmd = "bzz -d '" + in.string() + "' '" + out.string() + "' 2>/dev/null";
    bool ok = std::system(cmd.c_str()) == 0;
    return {ok, ok ? readFile(out.string()) : std::vector<uint8_t>()};
}

Outcome ours(const std::vector<uint8_t>& payload)
{
    try {
        return {true, inflateAll(payload)};
    } catch (const Vantorix::Exception&) {
        return {false, {}};
    }
}

bool haveReference()
{
#ifdef _WIN32
    return false;
#else
    static const bool found = std::system("command -v bzz >/dev/null 2>&1") == 0;
    return found;
#endif
}

// Without DjVuLibre at hand (as under Wine) there is nothing to compare with.
void expectSameAsReference(const std::vector<uint8_t>& payload, const std::string& tag)
{
    if (!haveReference()) return;
    Outcome r = reference(payload, tag), o = ours(payload);
    EXPECT_EQ(o.ok, r.ok) << tag;
    if (o.ok && r.ok) {
        EXPECT_EQ(o.bytes, r.bytes) << tag;
    }
}

std::vector<uint8_t> sample(size_t n, uint32_t seed, int alphabet)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t('a' + rng() % alphabet);
    return v;
}

} // namespace

TEST(BzzCrossCheck, EverySpeedAndBlockSize)
{
    if (!haveReference()) GTEST_SKIP() << "DjVuLibre's bzz is not installed";
    for (int fshift = 0; fshift <= 2; ++fshift) {
        for (size_t blockBytes : {size_t(1), size_t(7), size_t(1000), size_t(30000)}) {
            for (int alphabet : {2, 26, 200}) {
                auto data = sample(blockBytes == 1 ? 300 : 30000, uint32_t(fshift * 100 + alphabet), alphabet);
                std::string tag = "speed" + std::to_string(fshift) + "_block" + std::to_string(blockBytes) + "_abc" +
                                  std::to_string(alphabet);
                expectSameAsReference(BzzTestWriter::compress(data, fshift, blockBytes), tag);
            }
        }
    }
}

TEST(BzzCrossCheck, OddAndBrokenBlocks)
{
    auto payload = [](auto&& build) {
        BzzTestWriter w;
        build(w);
        w.end();
        return w.finish();
    };
    // The walk passes the marker's row and comes back to it: accepted by both as "\0a".
    expectSameAsReference(payload([](BzzTestWriter& w) { w.columnBlock({'a', -1, 'b'}, 0); }), "shortcycle");
    // "b\0a" sorts to 'a', 'b', 0, marker. Coding its 0 byte as a marker stores the same byte
    // and leaves the list alone; the later, real marker then replaces it.
    auto twoMarkers = payload([](BzzTestWriter& w) {
        w.blockHeader(4);
        BzzTestWriter::MtfModel m;
        w.index(m.encode('a', 0)), w.index(m.encode('b', 0)), w.marker(), w.marker();
    });
    EXPECT_EQ(ours(twoMarkers).bytes, (std::vector<uint8_t>{'b', 0, 'a'}));
    expectSameAsReference(twoMarkers, "twomarkers");
    expectSameAsReference(payload([](BzzTestWriter& w) { w.columnBlock({'b', 'a', -1}, 0); }), "offmarker");
    expectSameAsReference(payload([](BzzTestWriter& w) { w.columnBlock({-1, 'a', 'b'}, 1); }), "marker0");
    expectSameAsReference(payload([](BzzTestWriter& w) {
        w.blockHeader(3);
        w.index(0), w.index(5), w.index(1);
    }), "nomarker");
    expectSameAsReference(payload([](BzzTestWriter& w) { w.blockHeader(4194305); }), "oversized");
}

TEST(BzzCrossCheck, MarkerOnlyBlockIsSkipped)
{
    // A block of one symbol, the marker, holds no bytes: its walk has no step and ends on the
    // marker. DjVuLibre's decoder refuses such a block ("Corrupted decoder input"); we read on
    // to the next block.
    BzzTestWriter w;
    w.blockHeader(1);
    w.marker();
    w.block({'h', 'i'}, 2);
    w.end();
    auto payload = w.finish();
    EXPECT_EQ(ours(payload).bytes, (std::vector<uint8_t>{'h', 'i'}));
    if (haveReference()) {
        EXPECT_FALSE(reference(payload, "markeronly").ok) << "DjVuLibre now accepts it";
    }
}
