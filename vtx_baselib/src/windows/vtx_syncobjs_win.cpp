#include <windows.h>

#include "vtx_exception.h"
#include "vtx_syncobjs.h"

namespace Vantorix {

Mutex::Mutex()
{
    auto* cs = new CRITICAL_SECTION;
    InitializeCriticalSection(cs);
    impl_ = cs;
}

Mutex::~Mutex()
{
    auto* cs = static_cast<CRITICAL_SECTION*>(impl_);
    DeleteCriticalSection(cs);
    delete cs;
}

void Mutex::lock() { EnterCriticalSection(static_cast<CRITICAL_SECTION*>(impl_)); }
void Mutex::unlock() { LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(impl_)); }

} // namespace Vantorix
