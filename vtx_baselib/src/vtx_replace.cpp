#include "vtx_exception.h"
#include "vtx_string.h"

namespace Vantorix {

void String::replace(const String& source, String& result, const String& replacee, const String& replacement)
{
    if (replacee.isEmpty()) VTX_THROW(7, "inReplacee is empty!", "Vantorix::String::replace");
    std::string out;
    uint32_t pos = 0;
    for (int32_t at = source.find(replacee); at >= 0; at = source.find(replacee, pos)) {
        out.append(source.getUtf8() + pos, uint32_t(at) - pos);
        out.append(replacement.getUtf8(), replacement.getLength());
        pos = uint32_t(at) + replacee.getLength();
    }
    out.append(source.getUtf8() + pos, source.getLength() - pos);
    result = String(out);
}

} // namespace Vantorix
