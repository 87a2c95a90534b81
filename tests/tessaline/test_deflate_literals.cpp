// The literal-only deflate writer against zlib's reader: every stream must inflate to its input,
// end where it says, and stay within its bound, whatever the distribution of the bytes.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "../../tools/src/tessaline/posix/deflate_literals.h" // private to the program: included by path

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

void expectRoundTrip(const std::vector<uint8_t>& data)
{
    const size_t bound = deflateLiteralsBound(data.size());
    std::vector<uint8_t> stream(bound + 16, 0xA5);
    const size_t n = deflateLiterals(data.data(), data.size(), stream.data());
    ASSERT_LE(n, bound);
    EXPECT_EQ(std::vector<uint8_t>(stream.begin() + ptrdiff_t(bound), stream.end()), std::vector<uint8_t>(16, 0xA5))
        << "written past the bound";
    stream.resize(n);
    EXPECT_EQ(inflateRaw(stream, data.size()), data);
}

} // namespace

// The bytes of a picture, of a nearly blank page, a single value, nothing at all, and counts
// so skewed (each value twice as frequent as the next) that a plain Huffman code would need
// codes longer than deflate allows.
TEST(DeflateLiterals, InflatesToItsInput)
{
    std::mt19937 random(5);
    struct Case {
        std::string name;
        std::vector<uint8_t> data;
    };
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectRoundTrip(c.data);
    }
}
