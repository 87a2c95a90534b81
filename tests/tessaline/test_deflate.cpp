// The deflate writers against zlib's reader: every stream must inflate to its input, end where it
// says, and stay within its bound, whatever the bytes and their repeats.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

// private to the program: included by path
#include "../../tools/src/tessaline/posix/deflate_greedy.h"
#include "../../tools/src/tessaline/posix/deflate_literals.h"

using namespace Tessaline;

namespace {

// What zlib's raw inflate makes of the stream; empty, with a failure, when it is not a whole
// valid stream.
std::vector<uint8_t> inflateRaw(const std::vector<uint8_t>& stream, size_t expected)
{
    std::vector<uint8_t> out(expected + 1);
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return {};
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = uInt(stream.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    const int status = inflate(&z, Z_FINISH);
    EXPECT_EQ(status, Z_STREAM_END) << (z.msg ? z.msg : "");
    EXPECT_EQ(z.avail_in, 0u) << "bytes after the end of the stream";
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

template <class Writer>
void expectRoundTrip(const std::vector<uint8_t>& data, const Writer& write)
{
    const size_t bound = deflateBound(data.size());
    std::vector<uint8_t> stream(bound + 16, 0xA5);
    const size_t n = write(data.data(), data.size(), stream.data());
    ASSERT_LE(n, bound);
    EXPECT_EQ(std::vector<uint8_t>(stream.begin() + ptrdiff_t(bound), stream.end()), std::vector<uint8_t>(16, 0xA5))
        << "written past the bound";
    stream.resize(n);
    EXPECT_EQ(inflateRaw(stream, data.size()), data);
}

struct Case {
    std::string name;
    std::vector<uint8_t> data;
};

// Both writers on every case.
void expectRoundTrips(const std::vector<Case>& cases)
{
    std::vector<DeflateMatch> matches;
    const auto literals = [](const uint8_t* d, size_t n, uint8_t* out) { return deflateLiterals(d, n, out); };
    const auto greedy = [&](const uint8_t* d, size_t n, uint8_t* out) { return deflateGreedy(d, n, out, matches); };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectRoundTrip(c.data, literals);
        expectRoundTrip(c.data, greedy);
    }
}

} // namespace

// The bytes of a picture, of a nearly blank page, a single value, nothing at all, and counts
// so skewed (each value twice as frequent as the next) that a plain Huffman code would need
// codes longer than deflate allows.
TEST(Deflate, InflatesToItsInput)
{
    std::mt19937 random(5);
    std::vector<Case> cases = {{"empty", {}}, {"one byte", {0x42}}, {"one value", std::vector<uint8_t>(5000, 0xFF)}};
    std::vector<uint8_t> uniform(100000), blank(70000), skewed;
    for (uint8_t& b : uniform) b = uint8_t(random());
    for (uint8_t& b : blank) b = random() % 50 ? 0 : uint8_t(random());
    for (uint32_t v = 0; v < 24; ++v) skewed.insert(skewed.end(), size_t(1) << (23 - v) >> 6 | 1, uint8_t(v * 7));
    std::shuffle(skewed.begin(), skewed.end(), random);
    cases.push_back({"uniform", uniform});
    cases.push_back({"nearly blank", blank});
    cases.push_back({"skewed", skewed});
    cases.push_back({"two values", {0, 1, 1, 0, 1}});
    expectRoundTrips(cases);
}

// Repeats near and past the window, runs longer than a match, matches that reach the end, inputs
// shorter than a comparison word, and positions past 2^16 (the search keeps them modulo 2^16).
TEST(Deflate, RepeatsBecomeValidMatches)
{
    std::mt19937 random(7);
    auto randomBytes = [&](size_t n) {
        std::vector<uint8_t> v(n);
        for (uint8_t& b : v) b = uint8_t(random());
        return v;
    };
    auto repeated = [](std::vector<uint8_t> block, size_t times) {
        std::vector<uint8_t> v;
        for (size_t k = 0; k < times; ++k) v.insert(v.end(), block.begin(), block.end());
        return v;
    };
    std::vector<Case> cases = {{"a block at the window's distance", repeated(randomBytes(32768), 3)},
                               {"a block past the window", repeated(randomBytes(40000), 3)},
                               {"a block just past the window", repeated(randomBytes(32769), 2)},
                               {"long run", std::vector<uint8_t>(100000, 0)},
                               {"short period", repeated({1, 2, 3}, 30000)},
                               {"repeat to the end", repeated(randomBytes(300), 2)}};
    for (size_t n = 1; n <= 17; ++n) cases.push_back({"short " + std::to_string(n), std::vector<uint8_t>(n, 9)});
    // Text on a blank page: a few words, at random places in long zero stretches.
    const std::vector<std::vector<uint8_t>> words = {randomBytes(5), randomBytes(12), randomBytes(40)};
    std::vector<uint8_t> page(200000, 0);
    for (size_t at = 0; at + 40 < page.size(); at += 20 + random() % 400) {
        const std::vector<uint8_t>& w = words[random() % words.size()];
        std::copy(w.begin(), w.end(), page.begin() + ptrdiff_t(at));
    }
    cases.push_back({"text on a blank page", page});
    expectRoundTrips(cases);
}
