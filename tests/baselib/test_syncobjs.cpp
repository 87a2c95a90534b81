#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "testutil.h"
#include "vtx_platform.h"
#include "vtx_syncobjs.h"

using namespace Vantorix;
using vtxtest::expectThrow;

namespace {

// Names unique to this run, removed again where the system keeps them (POSIX). The leading
// slash becomes the backslash after "Global"; Windows refuses backslashes further in.
struct UniqueName {
    explicit UniqueName(const char* what) : name(String::format("/vtx-test-%s-%u", what, Platform::getProcessId())) {}
    ~UniqueName() { Semaphore::removeName(name), NamedMutex::removeName(name); }
    String name;
};

// Runs `threads` threads that each do `rounds` unprotected read-modify-write steps under lock.
template <class MakeLock>
int countUnder(MakeLock makeLock, int threads, int rounds)
{
    volatile int counter = 0;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&] {
            auto lock = makeLock();
            for (int i = 0; i < rounds; ++i) {
                lock->lock();
                int v = counter;
                std::this_thread::yield();
                counter = v + 1;
                lock->unlock();
            }
        });
    for (auto& t : pool) t.join();
    return counter;
}

} // namespace

TEST(Mutex, RecursiveAndExclusive)
{
    Mutex m;
    m.lock(), m.lock();
    m.unlock(), m.unlock();
    EXPECT_EQ(countUnder([&] { return &m; }, 4, 300), 1200);
}

TEST(Semaphore, CountsAndTheMaximum)
{
    Semaphore two(2);
    two.lock(), two.lock();
    two.unlock(), two.unlock();
    expectThrow([&] { two.unlock(); }, 5005, "Vantorix::Semaphore::unlock", "errUnlockFailed");
    expectThrow([] { Semaphore none(0); }, 5000, "Vantorix::Semaphore::Semaphore", "errSemInitFailed");

    Semaphore gate(2);
    std::atomic<int> inside{0}, most{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < 6; ++t)
        pool.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                gate.lock();
                int now = ++inside;
                for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
                }
                std::this_thread::yield();
                --inside;
                gate.unlock();
            }
        });
    for (auto& t : pool) t.join();
    EXPECT_LE(most.load(), 2);
    EXPECT_GE(most.load(), 1);
}

TEST(Semaphore, NamedObjectsShareTheirCount)
{
    UniqueName n("sem");
    Semaphore a(1, n.name);
    Semaphore b(1, n.name);
    a.lock();
    b.unlock(); // gives back a's count: the two are one semaphore
    expectThrow([&] { a.unlock(); }, 5005, "Vantorix::Semaphore::unlock", "errUnlockFailed");
}

TEST(NamedMutex, RecursiveOwnedAndShared)
{
    NamedMutex m;
    m.lock(), m.lock();
    m.unlock(), m.unlock();
    expectThrow([&] { m.unlock(); }, 5005, "Vantorix::NamedMutex::unlock", "errUnlockFailed");

    m.lock();
    std::thread([&] { expectThrow([&] { m.unlock(); }, 5005, "Vantorix::NamedMutex::unlock", "errUnlockFailed"); })
        .join(); // only the owner may unlock
    m.unlock();

    UniqueName n("mutex");
    // Every thread opens its own object under the one name.
    EXPECT_EQ(countUnder([&] { return std::make_unique<NamedMutex>(n.name); }, 3, 200), 600);
}

TEST(NamedMutex, AbandonedMutexCountsAsAcquired)
{
    UniqueName n("abandoned");
    NamedMutex mine(n.name);
    std::thread([&] { NamedMutex(n.name).lock(); }).join(); // the thread ends holding it
    mine.lock();
    mine.unlock();
}

TEST(Event, AutoResetPingPong)
{
    Event ping, pong;
    int turns = 0;
    std::thread partner([&] {
        for (int i = 0; i < 500; ++i) {
            ping.wait();
            ++turns;
            pong.signal();
        }
    });
    for (int i = 0; i < 500; ++i) {
        ping.signal();
        pong.wait();
        EXPECT_EQ(turns, i + 1);
    }
    partner.join();

    Event early;
    early.signal(); // a signal with nobody waiting is kept for the next wait
    early.signal(); // and does not add up
    early.wait();
    std::atomic<bool> passed{false};
    std::thread waiter([&] {
        early.wait();
        passed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(passed.load());
    early.signal();
    waiter.join();
    EXPECT_TRUE(passed.load());
}
