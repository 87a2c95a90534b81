// nimbrel.dll registered by regsvr32 (the test fixture), read back through the registry API;
// unregistration and the per-user form through the system's regsvr32 too, as users run it.
#include <gtest/gtest.h>

#include "com_testutil.h"
#include "nimbrel_guids.h"

namespace {

const std::wstring kClsid = L"{" + widen(NIMBREL_CLSID_TEXT) + L"}";
const std::wstring kAppid = L"{" + widen(NIMBREL_APPID_TEXT) + L"}";
const std::wstring kLibid = L"{" + widen(NIMBREL_LIBID_TEXT) + L"}";
const std::wstring kHandler = L"ShellEx\\{E357FCCD-A995-4576-B01F-234630154E96}";
// Where per-user registration writes, under HKEY_CURRENT_USER.
const std::wstring kUserClasses = L"Software\\Classes\\";

HMODULE module()
{
    static HMODULE m = LoadLibraryW(widen("Z:" NIMBREL_DLL).c_str());
    return m;
}

std::wstring modulePath()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(module(), path, MAX_PATH);
    return path;
}

template <class F> F exported(const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module(), name)));
}

// Runs the system's regsvr32 on the module with the given switches; its exit code.
DWORD regsvr32(const std::wstring& switches)
{
    std::wstring command = L"regsvr32.exe /s " + switches + L" \"" + modulePath() + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return GetLastError();
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

struct Value {
    std::wstring key;
    const wchar_t* name; // null: the default value
    std::wstring expected;
};

std::vector<Value> registeredValues()
{
    const std::wstring cls = L"CLSID\\" + kClsid;
    return {
        {L"AppID\\" + kAppid, nullptr, L"nimbrel"},
        {L"AppID\\nimbrel.DLL", L"AppID", kAppid},
        {L".djvu\\" + kHandler, nullptr, kClsid},
        {L".djv\\" + kHandler, nullptr, kClsid},
        {L"nimbrel.NimbrelV.1", nullptr, L"CNimbrelV Object"},
        {L"nimbrel.NimbrelV.1\\CLSID", nullptr, kClsid},
        {L"nimbrel.NimbrelV", nullptr, L"CNimbrelV Object"},
        {L"nimbrel.NimbrelV\\CLSID", nullptr, kClsid},
        {L"nimbrel.NimbrelV\\CurVer", nullptr, L"nimbrel.NimbrelV.1"},
        {cls, nullptr, L"CNimbrelV Object"},
        {cls, L"AppID", kAppid},
        {cls + L"\\ProgID", nullptr, L"nimbrel.NimbrelV.1"},
        {cls + L"\\VersionIndependentProgID", nullptr, L"nimbrel.NimbrelV"},
        {cls + L"\\InprocServer32", nullptr, modulePath()},
        {cls + L"\\InprocServer32", L"ThreadingModel", L"apartment"},
        {cls + L"\\TypeLib", nullptr, kLibid},
    };
}

// Keys that only the class and type library registration make.
std::vector<std::wstring> removedKeys()
{
    return {L"AppID\\" + kAppid, L"AppID\\nimbrel.DLL", L"nimbrel.NimbrelV.1", L"nimbrel.NimbrelV",
            L"CLSID\\" + kClsid, L"TypeLib\\" + kLibid};
}

// Keys that unregistration leaves.
const std::vector<std::wstring> keptKeys = {L"AppID", L".djvu", L".djvu\\ShellEx", L".djv", L".djv\\ShellEx", L"CLSID"};

void expectRegistered(HKEY root, const std::wstring& prefix)
{
    for (const Value& v : registeredValues())
        EXPECT_EQ(regString(root, prefix + v.key, v.name), v.expected) << v.key << " " << (v.name ? v.name : L"");
    EXPECT_TRUE(regKeyExists(root, prefix + L"CLSID\\" + kClsid + L"\\Programmable"));
    const wchar_t* platform = sizeof(void*) == 8 ? L"\\1.0\\0\\win64" : L"\\1.0\\0\\win32";
    EXPECT_EQ(_wcsicmp(regString(root, prefix + L"TypeLib\\" + kLibid + platform).c_str(), modulePath().c_str()), 0);
}

void expectUnregistered(HKEY root, const std::wstring& prefix)
{
    for (const std::wstring& key : removedKeys()) EXPECT_FALSE(regKeyExists(root, prefix + key)) << key;
    for (const std::wstring& key : keptKeys) EXPECT_TRUE(regKeyExists(root, prefix + key)) << key;
}

TEST(Registration, Regsvr32WroteEveryKey)
{
    expectRegistered(HKEY_CLASSES_ROOT, L"");
}

TEST(Registration, Regsvr32UnregistersAndRegistersAgain)
{
    ASSERT_EQ(regsvr32(L"/u"), 0u);
    expectUnregistered(HKEY_CLASSES_ROOT, L"");
    // The never-removed handler entry keeps its value.
    EXPECT_EQ(regString(HKEY_CLASSES_ROOT, L".djvu\\" + kHandler), kClsid);
    ASSERT_EQ(regsvr32(L""), 0u);
    expectRegistered(HKEY_CLASSES_ROOT, L"");
}

TEST(Registration, PerUserUnderTheUsersClasses)
{
    using Install = HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR);
    const auto install = exported<Install>("DllInstall");
    EXPECT_EQ(install(TRUE, L"machine"), E_INVALIDARG);
    EXPECT_EQ(install(TRUE, nullptr), E_INVALIDARG);
    ASSERT_EQ(install(TRUE, L"user"), S_OK);
    expectRegistered(HKEY_CURRENT_USER, kUserClasses);
    ASSERT_EQ(install(FALSE, L"user"), S_OK);
    expectUnregistered(HKEY_CURRENT_USER, kUserClasses);
    // The machine-wide registration is untouched.
    expectRegistered(HKEY_CLASSES_ROOT, L"");
}

TEST(Registration, Regsvr32PerUserWithoutTouchingTheMachine)
{
    EXPECT_NE(regsvr32(L"/n /i:machine"), 0u);
    EXPECT_FALSE(regKeyExists(HKEY_CURRENT_USER, kUserClasses + L"CLSID\\" + kClsid));
    ASSERT_EQ(regsvr32(L"/n /i:user"), 0u);
    expectRegistered(HKEY_CURRENT_USER, kUserClasses);
    ASSERT_EQ(regsvr32(L"/u /n /i:user"), 0u);
    expectUnregistered(HKEY_CURRENT_USER, kUserClasses);
    expectRegistered(HKEY_CLASSES_ROOT, L"");
}

TEST(Registration, ThreadLocaleIsRestored)
{
    using Entry = HRESULT(STDAPICALLTYPE*)();
    const LCID before = MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT);
    SetThreadLocale(before);
    ASSERT_EQ(exported<Entry>("DllRegisterServer")(), S_OK);
    EXPECT_EQ(GetThreadLocale(), before);
}

TEST(Registration, TheModuleCarriesItsResources)
{
    wchar_t name[32] = {};
    EXPECT_GT(LoadStringW(module(), 100, name, 32), 0);
    EXPECT_STREQ(name, L"nimbrel");
    EXPECT_NE(FindResourceW(module(), MAKEINTRESOURCEW(101), L"REGISTRY"), nullptr);
    EXPECT_NE(FindResourceW(module(), MAKEINTRESOURCEW(1), L"TYPELIB"), nullptr);
}

} // namespace
