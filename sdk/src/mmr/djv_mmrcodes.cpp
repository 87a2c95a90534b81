// The T.4 code lists, built at compile time from the rows of t4_codes.tsv.
#include <array>
#include <cstddef>

#include "djv_mmrdecode.h"

namespace _Vtx_Internal_NS_ {
namespace {

struct Row {
    const char* table;
    const char* value;
    const char* bits;
};

constexpr Row kRows[] = {
#include "t4_codes.inc"
};

constexpr bool same(const char* a, const char* b)
{
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

constexpr uint16_t modeValue(const char* name)
{
    constexpr const char* kNames[] = {"pass", "horizontal", "V0", "VR1", "VR2", "VR3", "VL1", "VL2", "VL3"};
    for (uint16_t i = 0; i < 9; ++i)
        if (same(name, kNames[i])) return i;
    throw "unknown mode name"; // not a constant expression: stops the build
}

constexpr uint16_t number(const char* s)
{
    uint32_t v = 0;
    for (; *s; ++s) {
        if (*s < '0' || *s > '9') throw "bad number";
        v = v * 10 + uint32_t(*s - '0');
    }
    return uint16_t(v);
}

constexpr bool inTable(const Row& r, const char* table)
{
    return same(r.table, table) || (!same(table, "mode") && same(r.table, "both"));
}

constexpr size_t countOf(const char* table)
{
    size_t n = 0;
    for (const Row& r : kRows) n += inTable(r, table);
    return n;
}

// Codes left-aligned in nbits, in file order, then the terminating entry.
template <size_t N>
constexpr std::array<VLCode, N + 1> build(const char* table, uint32_t nbits)
{
    std::array<VLCode, N + 1> out{};
    size_t i = 0;
    for (const Row& r : kRows) {
        if (!inTable(r, table)) continue;
        uint32_t code = 0, len = 0;
        for (const char* b = r.bits; *b; ++b, ++len) {
            if (*b != '0' && *b != '1') throw "bad code bits";
            code = code << 1 | uint32_t(*b - '0');
        }
        if (len == 0 || len > nbits) throw "bad code length";
        out[i++] = VLCode{uint16_t(code << (nbits - len)), uint16_t(len),
                          same(table, "mode") ? modeValue(r.value) : number(r.value)};
    }
    out[N] = VLCode{0, 0, 0xFFFF};
    return out;
}

constexpr auto kMode = build<countOf("mode")>("mode", 7);
constexpr auto kWhite = build<countOf("white")>("white", 13);
constexpr auto kBlack = build<countOf("black")>("black", 13);
static_assert(kMode.size() == 9 + 1 && kWhite.size() == 104 + 1 && kBlack.size() == 104 + 1);

} // namespace

const VLCode* mmrModeCodes() { return kMode.data(); }
const VLCode* mmrWhiteCodes() { return kWhite.data(); }
const VLCode* mmrBlackCodes() { return kBlack.data(); }

} // namespace _Vtx_Internal_NS_
