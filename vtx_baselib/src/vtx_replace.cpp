#include <cstring>

#include "vtx_exception.h"
#include "vtx_memory.h"
#include "vtx_string.h"
#include "vtx_stringbuffer.h"

namespace Vantorix {
namespace {

// Below these sizes building a skip table costs more than it saves.
constexpr uint32_t kSkipMinPattern = 4;
constexpr uint32_t kSkipMinSource = 512;

// Left-to-right, non-overlapping occurrences, one byte at a time.
void findPlain(const char* s, uint32_t n, const char* w, uint32_t m, SimpleArray<uint32_t, 2>& at)
{
    for (uint32_t i = 0; i + m <= n;) {
        if (s[i] == w[0] && std::memcmp(s + i, w, m) == 0) {
            at.append(i);
            i += m;
        } else {
            ++i;
        }
    }
}

// The same occurrences with a skip table: on a mismatch the window moves by the distance from
// the byte under its last position to that byte's last place in the pattern.
void findSkipping(const char* s, uint32_t n, const char* w, uint32_t m, SimpleArray<uint32_t, 2>& at)
{
    uint32_t skip[256];
    for (uint32_t& k : skip) k = m;
    for (uint32_t k = 0; k + 1 < m; ++k) skip[uint8_t(w[k])] = m - 1 - k;
    const uint8_t last = uint8_t(w[m - 1]);
    for (uint32_t i = 0; i + m <= n;) {
        uint8_t tail = uint8_t(s[i + m - 1]);
        if (tail == last && std::memcmp(s + i, w, m - 1) == 0) {
            at.append(i);
            i += m;
        } else {
            i += skip[tail];
        }
    }
}

} // namespace

void String::replace(const String& source, String& result, const String& replacee, const String& replacement)
{
    uint32_t m = replacee.getLength();
    if (m == 0) VTX_THROW(errInvalidParam, "inReplacee is empty!", "Vantorix::String::replace");
    uint32_t n = source.getLength();
    if (n < m) {
        result = source;
        return;
    }
    const char* s = source.getUtf8();
    SimpleArray<uint32_t, 2> at(0, 128);
    if (m >= kSkipMinPattern && n >= kSkipMinSource)
        findSkipping(s, n, replacee.getUtf8(), m, at);
    else
        findPlain(s, n, replacee.getUtf8(), m, at);
    if (at.empty()) {
        result = source;
        return;
    }

    uint32_t r = replacement.getLength();
    uint64_t total = uint64_t(n) + uint64_t(at.size()) * r - uint64_t(at.size()) * m;
    if (total > 0x7FFFFFF0u) VTX_THROW(errOperationFailed, "errOperationFailed", "Vantorix::String::replace");
    if (total == 0) {
        result = String();
        return;
    }
    char* out = nullptr;
    AutoPtr<ReferableString> buf = makeWritableBuffer(uint32_t(total), out);
    const char* with = replacement.getUtf8();
    uint32_t from = 0;
    for (uint32_t pos : at) {
        std::memcpy(out, s + from, pos - from);
        out += pos - from;
        std::memcpy(out, with, r);
        out += r;
        from = pos + m;
    }
    std::memcpy(out, s + from, n - from);
    result = String(buf, 0, int32_t(total));
}

} // namespace Vantorix
