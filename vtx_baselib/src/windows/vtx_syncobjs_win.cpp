#include <windows.h>

#include "vtx_exception.h"
#include "vtx_syncobjs.h"

namespace Vantorix {
namespace {

// Keeps the global name's UTF-16 form alive for the create call; null for an unnamed object.
struct ObjectName {
    explicit ObjectName(const String& name) : global(makeGlobalObjectName(name)) {}
    LPCWSTR get() const { return global.isEmpty() ? nullptr : reinterpret_cast<LPCWSTR>(global.getUtf16()); }
    String global;
};

// A descriptor that lets every user open the mutex, so that processes of different accounts
// (a shell and a service) can share it. The converter is looked up at run time; without it
// the default security applies.
PSECURITY_DESCRIPTOR makeOpenToEveryoneDescriptor()
{
    using Convert = BOOL(WINAPI*)(LPCWSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG);
    HMODULE advapi = LoadLibraryW(L"advapi32.dll");
    if (!advapi) return nullptr;
    auto convert = reinterpret_cast<Convert>(
        reinterpret_cast<void (*)()>(GetProcAddress(advapi, "ConvertStringSecurityDescriptorToSecurityDescriptorW")));
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!convert || !convert(L"D:AR(A;OICI;GA;;;WD)", 1 /* SDDL_REVISION_1 */, &sd, nullptr)) sd = nullptr;
    FreeLibrary(advapi);
    return sd;
}

} // namespace

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

Semaphore::Semaphore(uint32_t count, const String& name)
{
    ObjectName object(name);
    LONG n = count > 0x7FFFFFFFu ? 0x7FFFFFFF : LONG(count);
    impl_ = CreateSemaphoreW(nullptr, n, n, object.get());
    if (!impl_) VTX_THROW(errSemInitFailed, "errSemInitFailed", "Vantorix::Semaphore::Semaphore");
}

Semaphore::~Semaphore() { CloseHandle(static_cast<HANDLE>(impl_)); }

void Semaphore::lock()
{
    if (WaitForSingleObject(static_cast<HANDLE>(impl_), INFINITE) != WAIT_OBJECT_0)
        VTX_THROW(errLockFailed, "errLockFailed", "Vantorix::Semaphore::lock");
}

void Semaphore::unlock()
{
    if (!ReleaseSemaphore(static_cast<HANDLE>(impl_), 1, nullptr))
        VTX_THROW(errUnlockFailed, "errUnlockFailed", "Vantorix::Semaphore::unlock");
}

void Semaphore::removeName(const String&) {}

NamedMutex::NamedMutex(const String& name)
{
    ObjectName object(name);
    PSECURITY_DESCRIPTOR sd = makeOpenToEveryoneDescriptor();
    SECURITY_ATTRIBUTES sa = {sizeof sa, sd, FALSE};
    impl_ = CreateMutexW(sd ? &sa : nullptr, FALSE, object.get());
    if (sd) LocalFree(sd);
    if (!impl_) VTX_THROW(errInitializationFailed, "errInitializationFailed", "Vantorix::NamedMutex::NamedMutex");
}

NamedMutex::~NamedMutex() { CloseHandle(static_cast<HANDLE>(impl_)); }

void NamedMutex::lock()
{
    DWORD r = WaitForSingleObject(static_cast<HANDLE>(impl_), INFINITE);
    if (r != WAIT_OBJECT_0 && r != WAIT_ABANDONED) VTX_THROW(errLockFailed, "errLockFailed", "Vantorix::NamedMutex::lock");
}

void NamedMutex::unlock()
{
    if (!ReleaseMutex(static_cast<HANDLE>(impl_))) VTX_THROW(errUnlockFailed, "errUnlockFailed", "Vantorix::NamedMutex::unlock");
}

void NamedMutex::removeName(const String&) {}

Event::Event()
{
    impl_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!impl_) VTX_THROW(errInitializationFailed, "errInitializationFailed", "Vantorix::Event::Event");
}

Event::~Event() { CloseHandle(static_cast<HANDLE>(impl_)); }

void Event::signal()
{
    if (!SetEvent(static_cast<HANDLE>(impl_))) VTX_THROW(errSignalFailed, "errSignalFailed", "Vantorix::Event::signal");
}

void Event::wait()
{
    if (WaitForSingleObject(static_cast<HANDLE>(impl_), INFINITE) != WAIT_OBJECT_0)
        VTX_THROW(errWaitFaild, "errWaitFaild", "Vantorix::Event::wait");
}

} // namespace Vantorix
