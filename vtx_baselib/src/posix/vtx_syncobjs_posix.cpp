#include <fcntl.h>
#include <pthread.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <ctime>
#include <map>
#include <mutex>
#include <string>

#include "vtx_exception.h"
#include "vtx_syncobjs.h"

namespace Vantorix {
namespace {

// "/vtx-<kind>-<name>" with '%' and '/' escaped, so that distinct names stay distinct.
std::string posixName(const char* kind, const String& name)
{
    std::string out = std::string("/vtx-") + kind + "-";
    for (uint32_t i = 0; i < name.getLength(); ++i) {
        char c = name.getUtf8()[i];
        if (c == '%') out += "%25";
        else if (c == '/') out += "%2F";
        else out += c;
    }
    return out;
}

struct SemaphoreImpl {
    sem_t own;
    sem_t* sem = nullptr;
    unsigned maximum = 0;
    bool named = false;
};

// The part of a named mutex that lives in shared memory; `ready` is set once the creating
// process has initialised the mutex.
struct SharedMutex {
    pthread_mutex_t mutex;
    uint32_t ready;
};

struct NamedMutexImpl {
    SharedMutex* shared = nullptr;
    bool mapped = false;
};

void initRobustMutex(pthread_mutex_t* m, bool processShared)
{
    pthread_mutexattr_t attr;
    bool ok = pthread_mutexattr_init(&attr) == 0;
    ok = ok && pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE) == 0;
    ok = ok && pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST) == 0;
    if (processShared) ok = ok && pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED) == 0;
    ok = ok && pthread_mutex_init(m, &attr) == 0;
    pthread_mutexattr_destroy(&attr);
    if (!ok) VTX_THROW(errInitializationFailed, "errInitializationFailed", "Vantorix::NamedMutex::NamedMutex");
}

void shortSleep()
{
    timespec ts = {0, 1000000};
    nanosleep(&ts, nullptr);
}

// Opens or creates the shared mutex. The creator (O_EXCL won) sizes and initialises it; any
// other process waits a bounded time for that to finish.
SharedMutex* openSharedMutex(const std::string& name)
{
    const char* fn = "Vantorix::NamedMutex::NamedMutex";
    int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    bool creator = fd >= 0;
    if (!creator && errno == EEXIST) fd = shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) VTX_THROW(errInitializationFailed, "errInitializationFailed", fn);
    if (creator && ftruncate(fd, sizeof(SharedMutex)) != 0) {
        close(fd);
        shm_unlink(name.c_str());
        VTX_THROW(errInitializationFailed, "errInitializationFailed", fn);
    }
    struct stat st;
    for (int i = 0; !creator && (fstat(fd, &st) != 0 || size_t(st.st_size) < sizeof(SharedMutex)); ++i) {
        if (i == 2000) {
            close(fd);
            VTX_THROW(errInitializationFailed, "errInitializationFailed", fn);
        }
        shortSleep();
    }
    void* p = mmap(nullptr, sizeof(SharedMutex), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (p == MAP_FAILED) VTX_THROW(errInitializationFailed, "errInitializationFailed", fn);
    auto* shared = static_cast<SharedMutex*>(p);
    if (creator) {
        try {
            initRobustMutex(&shared->mutex, true);
        } catch (...) {
            munmap(p, sizeof(SharedMutex));
            shm_unlink(name.c_str());
            throw;
        }
        __atomic_store_n(&shared->ready, 1u, __ATOMIC_RELEASE);
        return shared;
    }
    for (int i = 0; __atomic_load_n(&shared->ready, __ATOMIC_ACQUIRE) != 1; ++i) {
        if (i == 2000) {
            munmap(p, sizeof(SharedMutex));
            VTX_THROW(errInitializationFailed, "errInitializationFailed", fn);
        }
        shortSleep();
    }
    return shared;
}

// One mapping per name and process, kept until the process ends: a thread that dies holding
// the mutex must find it still mapped where it locked it, or nobody learns that it was
// abandoned. Two objects of one name in one process therefore share one mutex, as two
// handles to one mutex object do on Windows.
struct MappedMutexes {
    std::mutex guard;
    std::map<std::string, SharedMutex*> byName;
};

MappedMutexes& mappedMutexes()
{
    static MappedMutexes registry;
    return registry;
}

SharedMutex* sharedMutexFor(const std::string& name)
{
    MappedMutexes& r = mappedMutexes();
    std::lock_guard<std::mutex> hold(r.guard);
    auto it = r.byName.find(name);
    if (it != r.byName.end()) return it->second;
    SharedMutex* shared = openSharedMutex(name);
    r.byName.emplace(name, shared);
    return shared;
}

struct EventImpl {
    pthread_mutex_t mutex;
    pthread_cond_t cond;
    bool signalled = false;
};

} // namespace

Mutex::Mutex()
{
    auto* m = new pthread_mutex_t;
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(m, &attr);
    pthread_mutexattr_destroy(&attr);
    impl_ = m;
}

Mutex::~Mutex()
{
    auto* m = static_cast<pthread_mutex_t*>(impl_);
    pthread_mutex_destroy(m);
    delete m;
}

void Mutex::lock() { pthread_mutex_lock(static_cast<pthread_mutex_t*>(impl_)); }
void Mutex::unlock() { pthread_mutex_unlock(static_cast<pthread_mutex_t*>(impl_)); }

Semaphore::Semaphore(uint32_t count, const String& name)
{
    const char* fn = "Vantorix::Semaphore::Semaphore";
    if (count == 0 || count > SEM_VALUE_MAX) VTX_THROW(errSemInitFailed, "errSemInitFailed", fn);
    auto* s = new SemaphoreImpl;
    s->maximum = count;
    if (name.isEmpty()) {
        if (sem_init(&s->own, 0, count) == 0) s->sem = &s->own;
    } else {
        sem_t* named = sem_open(posixName("sem", name).c_str(), O_CREAT, 0600, count);
        if (named != SEM_FAILED) {
            s->sem = named;
            s->named = true;
        }
    }
    if (!s->sem) {
        delete s;
        VTX_THROW(errSemInitFailed, "errSemInitFailed", fn);
    }
    impl_ = s;
}

Semaphore::~Semaphore()
{
    auto* s = static_cast<SemaphoreImpl*>(impl_);
    if (s->named) sem_close(s->sem);
    else sem_destroy(s->sem);
    delete s;
}

void Semaphore::lock()
{
    auto* s = static_cast<SemaphoreImpl*>(impl_);
    while (sem_wait(s->sem) != 0)
        if (errno != EINTR) VTX_THROW(errLockFailed, "errLockFailed", "Vantorix::Semaphore::lock");
}

void Semaphore::unlock()
{
    auto* s = static_cast<SemaphoreImpl*>(impl_);
    int value = 0;
    // Like a Windows semaphore, refuse to rise above the maximum (checked, not atomic).
    if (sem_getvalue(s->sem, &value) != 0 || value >= int(s->maximum) || sem_post(s->sem) != 0)
        VTX_THROW(errUnlockFailed, "errUnlockFailed", "Vantorix::Semaphore::unlock");
}

void Semaphore::removeName(const String& name)
{
    if (!name.isEmpty()) sem_unlink(posixName("sem", name).c_str());
}

NamedMutex::NamedMutex(const String& name)
{
    auto* m = new NamedMutexImpl;
    try {
        if (name.isEmpty()) {
            m->shared = new SharedMutex;
            initRobustMutex(&m->shared->mutex, false);
        } else {
            m->shared = sharedMutexFor(posixName("mutex", name));
            m->mapped = true;
        }
    } catch (...) {
        if (!m->mapped) delete m->shared;
        delete m;
        throw;
    }
    impl_ = m;
}

NamedMutex::~NamedMutex()
{
    auto* m = static_cast<NamedMutexImpl*>(impl_);
    if (!m->mapped) {
        pthread_mutex_destroy(&m->shared->mutex);
        delete m->shared;
    }
    delete m;
}

void NamedMutex::lock()
{
    pthread_mutex_t* mutex = &static_cast<NamedMutexImpl*>(impl_)->shared->mutex;
    int rc = pthread_mutex_lock(mutex);
    if (rc == EOWNERDEAD) rc = pthread_mutex_consistent(mutex); // abandoned: ours now
    if (rc != 0) VTX_THROW(errLockFailed, "errLockFailed", "Vantorix::NamedMutex::lock");
}

void NamedMutex::unlock()
{
    if (pthread_mutex_unlock(&static_cast<NamedMutexImpl*>(impl_)->shared->mutex) != 0)
        VTX_THROW(errUnlockFailed, "errUnlockFailed", "Vantorix::NamedMutex::unlock");
}

void NamedMutex::removeName(const String& name)
{
    if (name.isEmpty()) return;
    std::string path = posixName("mutex", name);
    MappedMutexes& r = mappedMutexes();
    std::lock_guard<std::mutex> hold(r.guard);
    r.byName.erase(path); // the mapping stays (objects may still use it); new ones start afresh
    shm_unlink(path.c_str());
}

Event::Event()
{
    auto* e = new EventImpl;
    if (pthread_mutex_init(&e->mutex, nullptr) != 0) {
        delete e;
        VTX_THROW(errInitializationFailed, "errInitializationFailed", "Vantorix::Event::Event");
    }
    if (pthread_cond_init(&e->cond, nullptr) != 0) {
        pthread_mutex_destroy(&e->mutex);
        delete e;
        VTX_THROW(errInitializationFailed, "errInitializationFailed", "Vantorix::Event::Event");
    }
    impl_ = e;
}

Event::~Event()
{
    auto* e = static_cast<EventImpl*>(impl_);
    pthread_cond_destroy(&e->cond);
    pthread_mutex_destroy(&e->mutex);
    delete e;
}

void Event::signal()
{
    auto* e = static_cast<EventImpl*>(impl_);
    if (pthread_mutex_lock(&e->mutex) != 0) VTX_THROW(errSignalFailed, "errSignalFailed", "Vantorix::Event::signal");
    e->signalled = true;
    int rc = pthread_cond_signal(&e->cond);
    pthread_mutex_unlock(&e->mutex);
    if (rc != 0) VTX_THROW(errSignalFailed, "errSignalFailed", "Vantorix::Event::signal");
}

// Auto-reset: one waiter passes per signal and takes the signal with it.
void Event::wait()
{
    auto* e = static_cast<EventImpl*>(impl_);
    if (pthread_mutex_lock(&e->mutex) != 0) VTX_THROW(errWaitFaild, "errWaitFaild", "Vantorix::Event::wait");
    int rc = 0;
    while (!e->signalled && rc == 0) rc = pthread_cond_wait(&e->cond, &e->mutex);
    if (rc == 0) e->signalled = false;
    pthread_mutex_unlock(&e->mutex);
    if (rc != 0) VTX_THROW(errWaitFaild, "errWaitFaild", "Vantorix::Event::wait");
}

} // namespace Vantorix
