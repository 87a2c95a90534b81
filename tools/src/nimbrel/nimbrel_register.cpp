// Registration: the module script (resource "REGISTRY" 101) and the class script run by the
// platform's registry-script registrar, then the embedded type library. DllInstall with "user"
// writes the same keys under HKCU\Software\Classes, for users without administrator rights.
#include <windows.h>
#include <oleauto.h>

#include <string>

#define ATL_INITGUID
#include "atliface.h"
#include "nimbrel_classscript.h"
#include "nimbrel_guids.h"
#include "nimbrel_module.h"

namespace Vantorix::Nimbrel {
namespace {

constexpr UINT moduleScriptId = 101;

std::wstring braced(const char* guid)
{
    return L"{" + std::wstring(guid, guid + strlen(guid)) + L"}";
}

// Registration runs under the neutral locale, so that what it writes does not depend on the
// caller's thread locale.
class NeutralLocale {
public:
    NeutralLocale() : saved_(GetThreadLocale()) { SetThreadLocale(2048); }
    ~NeutralLocale() { SetThreadLocale(saved_); }

private:
    LCID saved_;
};

// regsvr32 may or may not have initialised COM on this thread.
class ComScope {
public:
    ComScope() : owned_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComScope()
    {
        if (owned_) CoUninitialize();
    }

private:
    bool owned_;
};

// While alive, HKEY_CLASSES_ROOT of this process is the user's HKCU\Software\Classes.
class PerUserClasses {
public:
    explicit PerUserClasses(bool active)
    {
        if (active && RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                      &key_, nullptr) == ERROR_SUCCESS)
            result_ = HRESULT_FROM_WIN32(RegOverridePredefKey(HKEY_CLASSES_ROOT, key_));
        else if (active)
            result_ = E_ACCESSDENIED;
    }
    ~PerUserClasses()
    {
        if (!key_) return;
        RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        RegCloseKey(key_);
    }
    HRESULT result() const { return result_; }

private:
    HKEY key_ = nullptr;
    HRESULT result_ = S_OK;
};

class Registration {
public:
    Registration()
    {
        result_ = CoCreateInstance(CLSID_Registrar, nullptr, CLSCTX_INPROC_SERVER, IID_IRegistrar,
                                   reinterpret_cast<void**>(&registrar_));
    }
    ~Registration()
    {
        if (registrar_) registrar_->Release();
    }
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

    HRESULT install()
    {
        add(L"APPID", braced(NIMBREL_APPID_TEXT));
        step([&] { return registrar_->ResourceRegister(path_.c_str(), moduleScriptId, L"REGISTRY"); });
        addClassReplacements();
        step([&] { return registrar_->StringRegister(classScript_.data()); });
        step([&] { return withTypeLib([&](ITypeLib* lib) { return RegisterTypeLib(lib, path_.data(), nullptr); }); });
        return result_;
    }

    HRESULT uninstall()
    {
        add(L"APPID", braced(NIMBREL_APPID_TEXT));
        addClassReplacements();
        step([&] { return registrar_->StringUnregister(classScript_.data()); });
        step([&] { return withTypeLib(unregisterTypeLib); });
        step([&] { return registrar_->ResourceUnregister(path_.c_str(), moduleScriptId, L"REGISTRY"); });
        return result_;
    }

private:
    // Runs f unless an earlier step failed; keeps the first failure.
    template <class F> void step(F f)
    {
        if (SUCCEEDED(result_)) result_ = f();
    }
    void add(const wchar_t* key, const std::wstring& value)
    {
        step([&] { return registrar_->AddReplacement(key, value.c_str()); });
    }
    void addClassReplacements()
    {
        add(L"FriendlyName", L"CNimbrelV Object");
        add(L"MODULE", path_);
        add(L"MODULETYPE", L"InprocServer32");
        add(L"MODULEGUID", braced(NIMBREL_LIBID_TEXT));
    }
    template <class F> HRESULT withTypeLib(F f)
    {
        ITypeLib* lib = nullptr;
        HRESULT result = LoadTypeLibEx(path_.c_str(), REGKIND_NONE, &lib);
        if (FAILED(result)) return result;
        result = f(lib);
        lib->Release();
        return result;
    }
    static HRESULT unregisterTypeLib(ITypeLib* lib)
    {
        TLIBATTR* attr = nullptr;
        HRESULT result = lib->GetLibAttr(&attr);
        if (FAILED(result)) return result;
        result = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
        lib->ReleaseTLibAttr(attr);
        return result;
    }

    IRegistrar* registrar_ = nullptr;
    HRESULT result_;
    std::wstring path_ = modulePath();
    // The registrar's interface takes the script as a writable string.
    std::wstring classScript_ = nimbrelClassScript;
};

HRESULT runRegistration(bool install, bool perUser)
{
    NeutralLocale locale;
    ComScope com;
    // The registrar is found through the machine's classes, before any per-user redirection.
    Registration registration;
    PerUserClasses classes(perUser);
    if (FAILED(classes.result())) return classes.result();
    return install ? registration.install() : registration.uninstall();
}

} // namespace
} // namespace Vantorix::Nimbrel

using Vantorix::Nimbrel::runRegistration;

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer()
{
    return runRegistration(true, false);
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer()
{
    return runRegistration(false, false);
}

// regsvr32 /n /i:user [/u] nimbrel.dll
extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR commandLine)
{
    if (!commandLine || lstrcmpiW(commandLine, L"user") != 0) return E_INVALIDARG;
    return runRegistration(install != FALSE, true);
}
