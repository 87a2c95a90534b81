// Lock objects. The platform halves live in src/windows/ and src/posix/ behind this header;
// every failure is an Exception with the codes listed on each operation.
#pragma once

#include "vtx_memory.h"
#include "vtx_string.h"

namespace Vantorix {

// Recursive mutex for the owning thread. Cannot fail.
class Mutex : public Lockable {
public:
    Mutex();
    ~Mutex() override;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void lock() override;
    void unlock() override;

private:
    void* impl_; // heap-allocated critical section / pthread mutex
};

// Counting semaphore whose initial and maximum count are both count; lock takes one count
// (waiting without limit), unlock gives one back. A non-empty name makes it shared between
// processes: on Windows under makeGlobalObjectName(name), on POSIX as the named semaphore
// "/vtx-sem-<name>" (slashes escaped), which outlives its users until removeName.
// Throws 5000 "errSemInitFailed" when it cannot be created (count 0 included), 5004
// "errLockFailed" when the wait fails and 5005 "errUnlockFailed" when the release fails or
// would exceed the maximum.
class Semaphore : public Lockable {
public:
    Semaphore(uint32_t count, const String& name = String());
    // Removes the system object behind a name (POSIX); nothing on Windows, where named
    // objects go away with their last handle.
    static void removeName(const String& name);
    ~Semaphore() override;
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;
    void lock() override;
    void unlock() override;

private:
    void* impl_;
};

// Mutex owned by a thread (recursive for it), shareable between processes by name: on Windows
// a mutex object under makeGlobalObjectName(name) that everyone may open, on POSIX a robust
// process-shared mutex in the shared memory object "/vtx-mutex-<name>". A mutex whose owner
// ended without unlocking counts as acquired. Throws 14 "errInitializationFailed" when it
// cannot be created, 5004 "errLockFailed" and 5005 "errUnlockFailed" (also when the calling
// thread does not own it).
class NamedMutex : public Lockable {
public:
    explicit NamedMutex(const String& name = String());
    static void removeName(const String& name);
    ~NamedMutex() override;
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;
    void lock() override;
    void unlock() override;

private:
    void* impl_;
};

// Auto-reset event, created not signalled. Throws 14, 5006 "errSignalFailed", 5007 "errWaitFaild".
class Event {
public:
    Event();
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    void signal();
    void wait();

private:
    void* impl_;
};

// Global object name: slashes become backslashes, prefixed with "Global" or "Global\".
String makeGlobalObjectName(const String& name);

} // namespace Vantorix
