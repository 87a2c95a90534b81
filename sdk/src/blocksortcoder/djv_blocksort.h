// Inverse block sort of one BZZ block (private to the BZZ decompressor and its tests).
#pragma once

#include <cstdint>

namespace _Vtx_Internal_NS_ {

enum class BlockSortResult { ok, corrupt, outOfRange };

// data[0..n) is the sorted column with a 0 at `marker` (marker < n). On success data[0..n-1)
// holds the original bytes. A block whose walk does not end on the marker is `corrupt`; its
// data is then garbage. Allocates 4 bytes per symbol for the duration of the call.
BlockSortResult inverseBlockSort(uint8_t* data, uint32_t n, uint32_t marker);

} // namespace _Vtx_Internal_NS_
