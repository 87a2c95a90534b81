#include <gtest/gtest.h>

#include <thread>

#include "testutil.h"
#include "vtx_memory.h"
#include "vtx_stream.h"

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

TEST(AutoPtr, SelfAssignmentNullAndConcurrentRelease)
{
    int destroyed = 0;
    AutoPtr<Counted> p(new Counted(&destroyed));
    AutoPtr<Counted>& alias = p;
    p = alias;
    EXPECT_EQ(p->getRefCount(), 1);
    p = nullptr;
    EXPECT_EQ(destroyed, 1);
    EXPECT_FALSE(p);

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
