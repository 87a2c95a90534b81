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

// Counting semaphore; optional global name. Throws 5000 "errSemInitFailed" when it cannot be
// created, 5004/5005 when waiting or releasing fails.
class Semaphore : public Lockable {
public:
    Semaphore(uint32_t count, const String& name = String());
    ~Semaphore() override;
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;
    void lock() override;
    void unlock() override;

private:
    void* impl_;
};

// Process-shared mutex; optional global name. Throws 14 "errInitializationFailed" when it cannot
// be created, 5004/5005 when waiting or releasing fails.
class NamedMutex : public Lockable {
public:
    explicit NamedMutex(const String& name = String());
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
