#include "djv_blocksort.h"

#include "vtx_memory.h"

namespace _Vtx_Internal_NS_ {

BlockSortResult inverseBlockSort(uint8_t* data, uint32_t n, uint32_t marker)
{
    uint32_t count[256] = {};
    for (uint32_t i = 0; i < n; ++i) ++count[data[i]];
    --count[0]; // the marker is stored as a 0 but sorts before every byte

    // next[c]: where the next occurrence of c links to. The marker's row is 0, so byte rows
    // start at 1.
    uint32_t next[256];
    uint32_t t = 1;
    for (int c = 0; c < 256; ++c) {
        next[c] = t;
        t += count[c];
    }

    // Each entry holds its byte on top and the row it links to below: the walk then needs one
    // load per step. Rows are below n <= 2^22, so 24 bits suffice.
    Vantorix::SimpleArray<uint32_t> links(n);
    uint32_t* link = links.data();
    for (uint32_t i = 0; i < marker; ++i) {
        uint32_t c = data[i];
        link[i] = (c << 24) | next[c]++;
    }
    // No byte fills the marker's entry. A walk meets it before its end only in a damaged block,
    // and reads it as an empty entry: byte 0, leading to row 1. That way a block with its marker
    // first (where the walk starts) never ends on the marker.
    link[marker] = 1;
    for (uint32_t i = marker + 1; i < n; ++i) {
        uint32_t c = data[i];
        link[i] = (c << 24) | next[c]++;
    }

    uint32_t j = 0;
    for (uint32_t last = n - 1; last > 0; --last) {
        uint32_t e = link[j];
        data[last - 1] = uint8_t(e >> 24);
        j = e & 0xFFFFFF;
        if (j >= n) return BlockSortResult::outOfRange; // cannot happen: kept as a cheap guard
    }
    return j == marker ? BlockSortResult::ok : BlockSortResult::corrupt;
}

} // namespace _Vtx_Internal_NS_
