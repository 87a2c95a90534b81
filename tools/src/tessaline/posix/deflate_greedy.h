// A deflate stream by a greedy match search: each position looks up the last place its next four
// bytes were seen (one candidate, from a table small enough for the first-level cache) and takes
// the match there, or writes a literal. Text on a blank page and blank stretches compress nearly
// as well as by a fast LZ77 level with several candidates, in about half its time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "deflate_block.h"

namespace Tessaline {

// A match the search took: its first byte, its length (4 to 258) and distance (1 to 32768).
struct DeflateMatch {
    uint32_t at;
    uint16_t length, distance;
};

// Writes data (less than 4 GiB) as a raw deflate stream of one block to out, which has room for
// deflateBound(size) bytes (past the stream's end some may be overwritten); returns the
// stream's size. matches is the caller's, kept to spare its allocation.
size_t deflateGreedy(const uint8_t* data, size_t size, uint8_t* out, std::vector<DeflateMatch>& matches);

} // namespace Tessaline
