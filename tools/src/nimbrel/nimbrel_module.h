// State of the COM module shared by its objects: the lock count that decides whether the
// module may be unloaded, and the type library embedded as resource "TYPELIB" 1.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace Vantorix::Nimbrel {

// Raised by every live object and by LockServer(TRUE); interlocked.
void lockModule();
void unlockModule();
LONG moduleLockCount();

HMODULE moduleHandle();
// The module's full path, as the registry names it.
std::wstring modulePath();

// The type information of guid (the coclass or INimbrelV) from the module's own type
// library, which is loaded on first use and kept. The caller owns the returned reference.
HRESULT moduleTypeInfo(REFGUID guid, ITypeInfo** info);

} // namespace Vantorix::Nimbrel
