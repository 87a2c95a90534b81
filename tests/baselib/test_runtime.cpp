// The runtime: exceptions and their diagnostic file, arrays and references, locks.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "testutil.h"
#include "vtx_memory.h"
#include "vtx_platform.h"
#include "vtx_stream.h"
#include "vtx_syncobjs.h"

using namespace Vantorix;
using vtxtest::expectThrow;

namespace {

void setVariable(const char* name, const char* value)
{
#ifdef _WIN32
    std::u16string wname(String(name).getUtf16());
    SetEnvironmentVariableW(reinterpret_cast<LPCWSTR>(wname.c_str()),
                            value ? reinterpret_cast<LPCWSTR>(String(value).getUtf16()) : nullptr);
#else
    if (value) setenv(name, value, 1);
    else unsetenv(name);
#endif
}

// In text mode: the file is a text file, with the platform's line ends.
std::string fileText(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Counted : Referable {
    explicit Counted(int* destroyed) : destroyed_(destroyed) {}
    ~Counted() override { ++*destroyed_; }
    int* destroyed_;
};

class NullAllocator : public MemoryAllocator {
public:
    void* allocate(size_t) override { ++calls; return nullptr; }
    void free(void*) override {}
    int calls = 0;
};

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
                std::this_thread::yield(); // invites another thread in between, if the lock lets it
                counter = v + 1;
                lock->unlock();
            }
        });
    for (auto& t : pool) t.join();
    return counter;
}

} // namespace

TEST(Exception, MessageLine)
{
    Exception e(7, "errInvalidParam", "src/vtx_memstorage.cpp", 163, "Vantorix::MemoryStorageImpl::setPos");
    EXPECT_STREQ(e.what(), "src/vtx_memstorage.cpp(163) : Vantorix::MemoryStorageImpl::setPos: Error 7: errInvalidParam\n");
    EXPECT_EQ(Exception(-2, String("errInternalError"), "f.cpp", 1, "g").getMessage(),
              "f.cpp(1) : g: Error -2: errInternalError\n");
    // Texts with percent signs are not formats.
    EXPECT_STREQ(Exception(5000, String("100% %s"), "f.cpp", 2, "h").what(), "f.cpp(2) : h: Error 5000: 100% %s\n");
}

TEST(Exception, ThrowMacroNamesThisFile)
{
    std::string msg = vtxtest::thrownBy([] { VTX_THROW(20, "errDataBroken", "Vantorix::Test::f"); }).message;
    EXPECT_EQ(msg.rfind("tests/baselib/test_runtime.cpp(", 0), 0u) << msg;
    EXPECT_TRUE(vtxtest::contains(msg, ") : Vantorix::Test::f: Error 20: errDataBroken\n")) << msg;
}

TEST(Exception, DiagnosticFileGetsOneLinePerBuiltException)
{
    std::string path = testing::TempDir() + "vtx_diag.txt";
    std::remove(path.c_str());
    setVariable("_QRMB_DEBUG_FILE", path.c_str());
    {
        Exception e(13, "errEOF", "a.cpp", 5, "f");
        Exception copy(e);
        try {
            throw e; // the thrown object is a copy: nothing more is appended
        } catch (const Exception&) {
        }
    }
    setVariable("_QRMB_DEBUG_FILE", nullptr);
    Exception untouched(13, "errEOF", "a.cpp", 6, "f");
    std::string expected = std::to_string(Platform::getProcessId()) + " a.cpp(5) : f: Error 13: errEOF\n\n";
    EXPECT_EQ(fileText(path), expected);

    // A value longer than 260 characters is not used, even when it names the same file.
    std::string longPath = testing::TempDir();
    while (longPath.size() < 262) longPath += "./";
    longPath += "vtx_diag.txt";
    setVariable("_QRMB_DEBUG_FILE", longPath.c_str());
    Exception ignored(13, "errEOF", "a.cpp", 7, "f");
    setVariable("_QRMB_DEBUG_FILE", "");
    Exception alsoIgnored(13, "errEOF", "a.cpp", 8, "f");
    setVariable("_QRMB_DEBUG_FILE", nullptr);
    EXPECT_EQ(fileText(path), expected);
    std::remove(path.c_str());
}

TEST(SimpleArray, GrowthRuleShrinkAndWipe)
{
    SimpleArray<uint32_t, 2> a;
    EXPECT_EQ(a.getCapacity(), 0u);
    for (auto [size, capacity] : {std::pair{1u, 129u}, {200u, 400u}, {300u, 400u}, {0u, 400u}}) {
        a.resize(size);
        EXPECT_EQ(a.getCapacity(), capacity) << size;
    }
    SimpleArray<uint8_t, 2> w(8);
    w.setWipe(true);
    for (int i = 0; i < 8; ++i) w[i] = 0xAB;
    w.resize(0);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(w.data()[i], 0);
}

// Failures name the instantiation the way the system's messages always have.
TEST(SimpleArray, FailureMessages)
{
    NullAllocator alloc;
    SimpleArray<uint32_t, 2> huge(0, 0, &alloc);
    SimpleArray<uint8_t, 2> bytes(0, 0, &alloc);
    SimpleArray<AutoPtr<MemoryStorage>, 1> ptrs(0, 0, &alloc);
    SimpleArray<String, 1> strings(0, 0, &alloc);
    SimpleArray<int, 2> b(3);
    const std::string oom = "_malloc: Error 1: SimpleArray: Out of memory!\n";
    const std::pair<vtxtest::Thrown, std::string> cases[] = {
        {vtxtest::thrownBy([&] { huge._malloc(1u << 29); }),
         "Vantorix::SimpleArray<unsigned int,2>::_malloc: Error 26: SimpleArray: The size of the memory block "
         "exceeds 2GB, we could not deal with the request!\n"},
        {vtxtest::thrownBy([&] { bytes.resize(10); }), "Vantorix::SimpleArray<unsigned char,2>::" + oom},
        {vtxtest::thrownBy([&] { ptrs.resize(1); }),
         ": Vantorix::SimpleArray<class Vantorix::AutoPtr<class Vantorix::MemoryStorage>,1>::" + oom},
        {vtxtest::thrownBy([&] { strings.append(String("x")); }), "Vantorix::SimpleArray<class Vantorix::String,1>::" + oom},
        {vtxtest::thrownBy([&] { b.remove(2, 2); }), "Vantorix::SimpleArray<int,2>::remove: Error 7"},
        {vtxtest::thrownBy([&] { b.insert(4, 1); }), "Vantorix::SimpleArray<int,2>::insert: Error 7"},
    };
    for (const auto& [t, text] : cases) EXPECT_TRUE(vtxtest::contains(t.message, text)) << t.message << text;
    EXPECT_EQ(alloc.calls, 3); // the 2 GB request never reaches the allocator
    EXPECT_EQ(bytes.getSize(), 0u);
}

TEST(SimpleArray, ClassElementsInsertRemoveAndCopy)
{
    int destroyed = 0;
    {
        SimpleArray<AutoPtr<Counted>, 1> a;
        for (int i = 0; i < 300; ++i) a.append(AutoPtr<Counted>(new Counted(&destroyed)));
        a.insert(0, a[299]); // an element of the array itself, which may move
        EXPECT_EQ(a[0].get(), a[300].get());
        a.remove(0);
        SimpleArray<AutoPtr<Counted>, 1> b(a);
        EXPECT_EQ(b[299]->getRefCount(), 2);
        a.resize(10);
        EXPECT_EQ(destroyed, 0);
        b.clear();
        EXPECT_EQ(destroyed, 290);
    }
    EXPECT_EQ(destroyed, 300);
}

TEST(AutoPtr, SelfAssignmentNullAndConcurrentRelease)
{
    int destroyed = 0;
    AutoPtr<Counted> p(new Counted(&destroyed));
    AutoPtr<Counted>& alias = p;
    p = alias;
    EXPECT_EQ(p->getRefCount(), 1);
    p = nullptr;
    EXPECT_EQ(destroyed, 1);

    for (int round = 0; round < 200; ++round) {
        destroyed = 0;
        auto* raw = new Counted(&destroyed);
        AutoPtr<Counted> a(raw), b(raw);
        std::thread t1([q = std::move(a)]() mutable { q = nullptr; });
        std::thread t2([q = std::move(b)]() mutable { q = nullptr; });
        t1.join();
        t2.join();
        ASSERT_EQ(destroyed, 1);
    }
}

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
    Semaphore one(1); // a count of one excludes like a lock
    EXPECT_EQ(countUnder([&] { return &one; }, 4, 300), 1200);
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
        for (int i = 0; i < 500; ++i) ping.wait(), ++turns, pong.signal();
    });
    for (int i = 0; i < 500; ++i) {
        ping.signal(), pong.wait();
        EXPECT_EQ(turns, i + 1);
    }
    partner.join();

    // A signal with nobody waiting is kept for the next wait, and two do not add up.
    Event early;
    early.signal(), early.signal();
    early.wait();
    std::atomic<bool> passed{false};
    std::thread waiter([&] { early.wait(), passed = true; });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(passed.load());
    early.signal();
    waiter.join();
}
