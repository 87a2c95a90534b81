#include <map>
#include <sstream>

#include "mmr_test_util.h"

using namespace _Vtx_Internal_NS_;
using namespace mmrtest;

namespace {

std::vector<VLCode> listOf(const VLCode* codes)
{
    std::vector<VLCode> out;
    for (; codes->codelen; ++codes) out.push_back(*codes);
    EXPECT_EQ(codes->value, 0xFFFF) << "terminating entry";
    return out;
}

VLCode parsed(const std::string& bits, uint32_t value, uint32_t nbits)
{
    uint32_t code = 0;
    for (char c : bits) code = code << 1 | uint32_t(c == '1');
    return VLCode{uint16_t(code << (nbits - bits.size())), uint16_t(bits.size()), uint16_t(value)};
}

} // namespace

TEST(MMRTables, CompiledListsEqualTheCodeFile)
{
    std::ifstream in(VTX_SOURCE_DIR "/sdk/src/mmr/t4_codes.tsv");
    ASSERT_TRUE(in);
    const std::map<std::string, uint32_t> modes{{"pass", 0}, {"horizontal", 1}, {"V0", 2}, {"VR1", 3}, {"VR2", 4},
                                                {"VR3", 5},  {"VL1", 6},        {"VL2", 7}, {"VL3", 8}};
    std::vector<VLCode> mode, white, black;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream f(line);
        std::string table, value, bits;
        f >> table >> value >> bits;
        if (table == "mode") {
            mode.push_back(parsed(bits, modes.at(value), 7));
            continue;
        }
        const VLCode c = parsed(bits, uint32_t(std::stoul(value)), 13);
        if (table != "black") white.push_back(c);
        if (table != "white") black.push_back(c);
    }
    EXPECT_EQ(listOf(mmrModeCodes()), mode);
    EXPECT_EQ(listOf(mmrWhiteCodes()), white);
    EXPECT_EQ(listOf(mmrBlackCodes()), black);
    EXPECT_EQ(mode.size(), 9u);
    EXPECT_EQ(white.size(), 104u);
    EXPECT_EQ(black.size(), 104u);
}

// Every code of every table, written back to back, decodes to its own value and consumes
// exactly its length; a prefix that is no code yields 0xFFFF and consumes nothing.
TEST(MMRTables, EveryCodeDecodesToItsValue)
{
    struct Case {
        const VLCode* list;
        uint32_t nbits;
    } cases[] = {{mmrModeCodes(), 7}, {mmrWhiteCodes(), 13}, {mmrBlackCodes(), 13}};
    for (const Case& c : cases) {
        BitWriter w;
        std::vector<uint32_t> values;
        for (const VLCode* e = c.list; e->codelen; ++e) {
            w.bits(uint32_t(e->code) >> (c.nbits - e->codelen), e->codelen);
            values.push_back(e->value);
        }
        w.bits(0, 16); // no code begins with 13 zeros
        VLSource src(streamOf(w.bytes()), false);
        VLTable table(c.list, c.nbits);
        for (uint32_t v : values) ASSERT_EQ(table.decode(src), v);
        EXPECT_EQ(table.decode(src), 0xFFFFu);
        EXPECT_EQ(table.decode(src), 0xFFFFu);
    }
}

TEST(MMRTables, InitRejectsBadCodeLists)
{
    const char* fn = "_Vtx_Internal_NS_::VLTable::init: Error 20: ";
    auto msg = [&](const VLCode* list, uint32_t nbits) {
        return thrownBy([&] { VLTable t(list, nbits); }).message;
    };
    // Overlap: "1" covers "10".
    const VLCode overlap[] = {{0x80, 1, 0}, {0x80, 2, 1}, {0, 0, 0xFFFF}};
    EXPECT_NE(msg(overlap, 8).find(std::string(fn) + "Bad MMR codebook!"), std::string::npos);
    // The same code twice.
    const VLCode twice[] = {{0x40, 2, 0}, {0x40, 2, 1}, {0, 0, 0xFFFF}};
    EXPECT_NE(msg(twice, 8).find("Bad MMR codebook!"), std::string::npos);
    // A code whose bits do not fit the index.
    const VLCode outside[] = {{0x1F0, 4, 0}, {0, 0, 0xFFFF}};
    EXPECT_NE(msg(outside, 8).find("Bad MMR codebook!"), std::string::npos);
    // Longer than the index.
    const VLCode longer[] = {{0x00, 9, 0}, {0, 0, 0xFFFF}};
    EXPECT_NE(msg(longer, 8).find(std::string(fn) + "Invalid MMR codelen!"), std::string::npos);
    // Too many index bits, and 256 codes.
    const VLCode one[] = {{0x2000, 1, 0}, {0, 0, 0xFFFF}}; // "1" in 14 bits
    EXPECT_NE(msg(one, 15).find(std::string(fn) + "Invalid MMR data!"), std::string::npos);
    EXPECT_EQ(msg(one, 14), "");
    std::vector<VLCode> many;
    for (uint32_t i = 0; i < 256; ++i) many.push_back({uint16_t(i), 8, uint16_t(i)});
    many.push_back({0, 0, 0xFFFF});
    EXPECT_NE(msg(many.data(), 8).find("Invalid MMR data!"), std::string::npos);
    many.erase(many.begin()); // 255 codes fit, the prefix 0 stays unassigned
    EXPECT_EQ(msg(many.data(), 8), "");
}
