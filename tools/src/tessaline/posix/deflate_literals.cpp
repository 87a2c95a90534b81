#include "deflate_literals.h"

namespace Tessaline {

size_t deflateLiterals(const uint8_t* data, size_t size, uint8_t* out)
{
    // Four tables, so that a run of one value does not wait on its own count.
    uint32_t counts[4][kLitLenCodes] = {};
    size_t i = 0;
    for (; i + 4 <= size; i += 4)
        for (int k = 0; k < 4; ++k) ++counts[k][data[i + k]];
    for (; i < size; ++i) ++counts[0][data[i]];
    for (uint32_t s = 0; s < 256; ++s) counts[0][s] += counts[1][s] + counts[2][s] + counts[3][s];
    counts[0][kEndOfBlock] = 1;
    const HuffmanCode<kLitLenCodes> literals(counts[0], 15);
    const uint32_t noDistances[kDistanceCodes] = {};
    BitWriter bits(out);
    writeBlockHeader(bits, literals, HuffmanCode<kDistanceCodes>(noDistances, 15));
    putLiterals(bits, literals, data, size);
    literals.put(bits, kEndOfBlock);
    return bits.finish();
}

} // namespace Tessaline
