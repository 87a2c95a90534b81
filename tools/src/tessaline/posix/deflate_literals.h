// A deflate stream of literals only: one block, coded by a Huffman code made for the data.
// Filtered picture rows rarely repeat at a distance, so searching for matches buys little: this
// writes them about as small as a fast LZ77 level does (often smaller), in a fraction of its time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "deflate_block.h"

namespace Tessaline {

// Writes data as a raw deflate stream (no zlib or gzip framing) to out, which has room for
// deflateBound(size) bytes (past the stream's end some may be overwritten); returns the
// stream's size.
size_t deflateLiterals(const uint8_t* data, size_t size, uint8_t* out);

} // namespace Tessaline
