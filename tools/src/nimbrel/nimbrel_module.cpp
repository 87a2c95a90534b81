// The module's entry points and shared state.
#include "nimbrel_module.h"

#include <new>

#include "nimbrel_factory.h"
#include "nimbrel_h.h"

namespace Vantorix::Nimbrel {
namespace {

HMODULE instance = nullptr;
LONG lockCount = 0;
bool initFailed = false;
CRITICAL_SECTION guard; // serialises the lazy creation of the factory and the type library
NimbrelFactory* factory = nullptr;
ITypeLib* typeLib = nullptr;

} // namespace

void lockModule()
{
    InterlockedIncrement(&lockCount);
}

void unlockModule()
{
    InterlockedDecrement(&lockCount);
}

LONG moduleLockCount()
{
    return lockCount;
}

HMODULE moduleHandle()
{
    return instance;
}

std::wstring modulePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(instance, path.data(), DWORD(path.size()));
        if (n == 0) return std::wstring();
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

HRESULT moduleTypeInfo(REFGUID guid, ITypeInfo** info)
{
    *info = nullptr;
    EnterCriticalSection(&guard);
    HRESULT result = S_OK;
    if (!typeLib) result = LoadTypeLibEx(modulePath().c_str(), REGKIND_NONE, &typeLib);
    LeaveCriticalSection(&guard);
    if (FAILED(result)) return result;
    return typeLib->GetTypeInfoOfGuid(guid, info);
}

} // namespace Vantorix::Nimbrel

using namespace Vantorix::Nimbrel;

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        instance = module;
        DisableThreadLibraryCalls(module);
        initFailed = !InitializeCriticalSectionAndSpinCount(&guard, 0);
        return initFailed ? FALSE : TRUE;
    }
    // At process exit (reserved set) other modules may be gone already: leave things as they are.
    if (reason == DLL_PROCESS_DETACH && !reserved && !initFailed) {
        if (typeLib) typeLib->Release();
        if (factory) factory->Release();
        DeleteCriticalSection(&guard);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid != CLSID_CNimbrelV) return CLASS_E_CLASSNOTAVAILABLE;
    EnterCriticalSection(&guard);
    if (!factory) factory = new (std::nothrow) NimbrelFactory;
    LeaveCriticalSection(&guard);
    if (!factory) return E_OUTOFMEMORY;
    return factory->QueryInterface(iid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return moduleLockCount() == 0 ? S_OK : S_FALSE;
}
