#include <pthread.h>

#include "vtx_exception.h"
#include "vtx_syncobjs.h"

namespace Vantorix {

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

} // namespace Vantorix
