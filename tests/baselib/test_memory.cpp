#include <gtest/gtest.h>

#include <thread>

#include "vtx_exception.h"
#include "vtx_memory.h"
#include "vtx_stream.h"
#include "testutil.h"

using namespace Vantorix;

namespace {

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

} // namespace

TEST(SimpleArray, GrowthRuleAndShrinkKeepsCapacity)
{
    SimpleArray<uint32_t, 2> a;
    EXPECT_EQ(a.getCapacity(), 0u);
    a.resize(1);
    EXPECT_EQ(a.getCapacity(), 129u);
    a.resize(200);
    EXPECT_EQ(a.getCapacity(), 400u);
    a.resize(300);
    EXPECT_EQ(a.getCapacity(), 400u);
    a.resize(0);
    EXPECT_EQ(a.getCapacity(), 400u);
}

TEST(SimpleArray, WipeClearsShrunkElements)
{
    SimpleArray<uint8_t, 2> a(8);
    a.setWipe(true);
    for (int i = 0; i < 8; ++i) a[i] = 0xAB;
    a.resize(0);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(a.data()[i], 0);
}

TEST(SimpleArray, TwoGigabyteRequestFailsWithoutAllocating)
{
    NullAllocator alloc;
    SimpleArray<uint32_t, 2> a(0, 0, &alloc);
    try {
        a._malloc(1u << 29);
        FAIL() << "expected an exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.getCode(), 26);
        std::string msg = e.what();
        EXPECT_NE(msg.find("Vantorix::SimpleArray<unsigned int,2>::_malloc: Error 26: SimpleArray: The size of the "
                           "memory block exceeds 2GB, we could not deal with the request!\n"),
                  std::string::npos)
            << msg;
    }
    EXPECT_EQ(alloc.calls, 0);
}

TEST(SimpleArray, FailuresNameTheInstantiation)
{
    NullAllocator alloc;
    SimpleArray<AutoPtr<MemoryStorage>, 1> a(0, 0, &alloc);
    vtxtest::Thrown t = vtxtest::thrownBy([&] { a.resize(1); });
    EXPECT_NE(t.message.find(": Vantorix::SimpleArray<class Vantorix::AutoPtr<class Vantorix::MemoryStorage>,1>::"
                             "_malloc: Error 1: SimpleArray: Out of memory!\n"),
              std::string::npos)
        << t.message;
    SimpleArray<String, 1> strings(0, 0, &alloc);
    t = vtxtest::thrownBy([&] { strings.append(String("x")); });
    EXPECT_NE(t.message.find("Vantorix::SimpleArray<class Vantorix::String,1>::_malloc"), std::string::npos);
    SimpleArray<int, 2> b(3);
    t = vtxtest::thrownBy([&] { b.remove(2, 2); });
    EXPECT_NE(t.message.find("Vantorix::SimpleArray<int,2>::remove: Error 7"), std::string::npos) << t.message;
    t = vtxtest::thrownBy([&] { b.insert(4, 1); });
    EXPECT_NE(t.message.find("Vantorix::SimpleArray<int,2>::insert: Error 7"), std::string::npos) << t.message;
}

TEST(SimpleArray, AllocatorFailureIsOutOfMemory)
{
    NullAllocator alloc;
    SimpleArray<uint8_t, 2> a(0, 0, &alloc);
    try {
        a.resize(10);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.getCode(), 1);
        EXPECT_NE(std::string(e.what()).find("SimpleArray: Out of memory!"), std::string::npos);
    }
    EXPECT_EQ(a.getSize(), 0u);
}

TEST(SimpleArray, ClassElementsInsertRemoveAndCopy)
{
    int destroyed = 0;
    {
        SimpleArray<AutoPtr<Counted>, 1> a;
        for (int i = 0; i < 300; ++i) a.append(AutoPtr<Counted>(new Counted(&destroyed)));
        a.insert(0, a[299]);
        EXPECT_EQ(a.getSize(), 301u);
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

TEST(AutoPtr, SelfAssignmentAndNull)
{
    int destroyed = 0;
    AutoPtr<Counted> p(new Counted(&destroyed));
    AutoPtr<Counted>& alias = p;
    p = alias;
    EXPECT_EQ(p->getRefCount(), 1);
    p = nullptr;
    EXPECT_EQ(destroyed, 1);
    EXPECT_FALSE(p);
}

TEST(Referable, ConcurrentReleaseDestroysOnce)
{
    for (int round = 0; round < 200; ++round) {
        int destroyed = 0;
        auto* raw = new Counted(&destroyed);
        AutoPtr<Counted> a(raw), b(raw);
        std::thread t1([p = std::move(a)]() mutable { p = nullptr; });
        std::thread t2([p = std::move(b)]() mutable { p = nullptr; });
        t1.join();
        t2.join();
        EXPECT_EQ(destroyed, 1);
    }
}
