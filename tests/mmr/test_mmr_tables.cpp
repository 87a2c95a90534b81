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

// Code lists that no prefix table can hold: overlapping or repeated codes, codes outside or
// longer than the index, too many index bits, 256 codes.
TEST(MMRTables, InitRejectsBadCodeLists)
{
    const VLCode overlap[] = {{0x80, 1, 0}, {0x80, 2, 1}, {0, 0, 0xFFFF}}; // "1" covers "10"
    const VLCode twice[] = {{0x40, 2, 0}, {0x40, 2, 1}, {0, 0, 0xFFFF}};
    const VLCode outside[] = {{0x1F0, 4, 0}, {0, 0, 0xFFFF}};
    const VLCode longer[] = {{0x00, 9, 0}, {0, 0, 0xFFFF}};
    const VLCode one[] = {{0x2000, 1, 0}, {0, 0, 0xFFFF}}; // "1" in 14 bits
    std::vector<VLCode> many;
    for (uint32_t i = 0; i < 256; ++i) many.push_back({uint16_t(i), 8, uint16_t(i)});
    many.push_back({0, 0, 0xFFFF});
    const std::vector<VLCode> fits(many.begin() + 1, many.end()); // 255 codes, the prefix 0 unassigned
    const struct {
        const VLCode* list;
        uint32_t nbits;
        const char* text; // "" when the list is fine
    } cases[] = {{overlap, 8, "Bad MMR codebook!"}, {twice, 8, "Bad MMR codebook!"},
                 {outside, 8, "Bad MMR codebook!"}, {longer, 8, "Invalid MMR codelen!"},
                 {one, 15, "Invalid MMR data!"},    {one, 14, ""},
                 {many.data(), 8, "Invalid MMR data!"}, {fits.data(), 8, ""}};
    for (const auto& c : cases) {
        auto make = [&] { VLTable t(c.list, c.nbits); };
        if (*c.text)
            vtxtest::expectThrow(make, 20, "_Vtx_Internal_NS_::VLTable::init", c.text);
        else
            EXPECT_EQ(thrownBy(make).message, "");
    }
}
