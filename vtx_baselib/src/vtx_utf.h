// UTF-8, UTF-16 and UTF-32 codecs of the String module. Malformed input never fails: a lead
// byte decides the sequence length and continuation bytes are not validated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Vantorix::Utf {

// Appends the UTF-8 form of c (up to 31 bits; five- and six-byte forms for the largest).
void appendUtf8(std::string& out, uint32_t c);

// Decoding stops at a zero byte or when count bytes are used up.
std::u32string utf8ToUtf32(const char* text, size_t count);
std::u16string utf8ToUtf16(const char* text, size_t count);

// Stops at a zero unit or after count units. With honourBom a leading 0xFEFF is skipped and a
// leading 0xFFFE is skipped with every following unit byte-swapped (text from outside); text
// that the system itself produced is converted without that rule.
std::string utf16ToUtf8(const char16_t* text, size_t count, bool honourBom = true);

} // namespace Vantorix::Utf
