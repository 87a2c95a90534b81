// Private to the string module: a fresh text buffer of a known length for code that builds a
// String in one pass (replacement) instead of copying it together.
#pragma once

#include <cstdint>

#include "vtx_string.h"

namespace Vantorix {

// A new buffer of length bytes for the caller to fill (for length 0 both it and data are null:
// an empty String holds no buffer).
AutoPtr<ReferableString> makeWritableBuffer(uint32_t length, char*& data);

} // namespace Vantorix
