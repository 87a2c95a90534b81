#include "vtx_syncobjs.h"

namespace Vantorix {

String makeGlobalObjectName(const String& name)
{
    if (name.isEmpty()) return String();
    String path = name.replaced("/", "\\");
    return (path.startsWith("\\") ? String("Global") : String("Global\\")) + path;
}

} // namespace Vantorix
