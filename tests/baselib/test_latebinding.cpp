#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "testutil.h"
#include "vtx_stream.h"

using namespace Vantorix;
using vtxtest::expectThrow;
using vtxtest::thrownBy;

namespace {

// Serves "good" as ten counting bytes; fails the first `failures` loads, and any other name.
class TestBroker : public ResourceBroker {
public:
    explicit TestBroker(int failures = 0) : failures_(failures) {}
    AutoPtr<Storage> load(const String& name) override
    {
        ++loads;
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        if (failures_ > 0) {
            --failures_;
            VTX_THROW(12, "No such component!", "TestBroker::load");
        }
        if (name != "good") VTX_THROW(12, "No such component!", "TestBroker::load");
        uint8_t bytes[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
        return AutoPtr<Storage>(MemoryStorage::create(bytes, 10));
    }
    std::atomic<int> loads{0};
    int delayMs = 0;

private:
    std::atomic<int> failures_;
};

} // namespace

TEST(LateBindingStorage, NothingLoadsUntilTheFirstRead)
{
    AutoPtr<TestBroker> broker(new TestBroker());
    AutoPtr<Storage> s = createLateBindingStorage("good", AutoPtr<ResourceBroker>(broker));
    EXPECT_EQ(s->getName(), "good");
    expectThrow([&] { s->writeBytes("x", 1); }, 28, "_Vtx_Internal_NS_::LateBindingStorage::writeBytes",
                "writeBytes is not supported.");
    expectThrow([&] { s->setEof(); }, 28, "_Vtx_Internal_NS_::LateBindingStorage::setEof", "setEof is not supported.");
    AutoPtr<Storage> unresolvedCopy = s->duplicate();
    s->reserve(100);
    s->flushBuffer();
    EXPECT_EQ(broker->loads, 0);

    EXPECT_EQ(s->getSize(), 10u);
    s->setPosFromEnd(-3);
    uint8_t b[4];
    EXPECT_EQ(s->readBytes(b, 4, false), 3u);
    EXPECT_EQ(b[0], 7);
    EXPECT_TRUE(s->isEof());
    EXPECT_EQ(s->getPos(), 10u);
    EXPECT_EQ(broker->loads, 1);

    // The copy made before resolution resolves on its own; one made after shares the target's bytes.
    EXPECT_EQ(unresolvedCopy->getPos(), 0u);
    EXPECT_EQ(unresolvedCopy->getSize(), 10u);
    EXPECT_EQ(broker->loads, 2);
    AutoPtr<Storage> resolvedCopy = s->duplicate();
    EXPECT_EQ(resolvedCopy->getPos(), 10u);
    EXPECT_EQ(broker->loads, 2);
}

TEST(LateBindingStorage, FailedLoadIsRetriedOnTheNextUse)
{
    AutoPtr<TestBroker> broker(new TestBroker(1));
    AutoPtr<Storage> s = createLateBindingStorage("good", AutoPtr<ResourceBroker>(broker));
    uint8_t b;
    expectThrow([&] { s->readBytes(&b, 1, true); }, 12, "TestBroker::load", "No such component!");
    EXPECT_EQ(s->getPos(), 0u);
    EXPECT_EQ(s->readBytes(&b, 1, true), 1u);
    EXPECT_EQ(broker->loads, 2);

    AutoPtr<Storage> missing = createLateBindingStorage("missing", AutoPtr<ResourceBroker>(broker));
    EXPECT_EQ(thrownBy([&] { missing->getSize(); }).code, 12);
    EXPECT_EQ(missing->getName(), "missing");
}

TEST(LateBindingStorage, ConcurrentFirstUseLoadsOnceAndOpenStorageChooses)
{
    AutoPtr<TestBroker> broker(new TestBroker());
    broker->delayMs = 20;
    AutoPtr<Storage> s = createLateBindingStorage("good", AutoPtr<ResourceBroker>(broker));
    std::thread t1([&] { s->getSize(); });
    std::thread t2([&] { s->getSize(); });
    t1.join();
    t2.join();
    EXPECT_EQ(broker->loads, 1);
    broker->delayMs = 0;

    // openStorage binds late or loads at once.
    AutoPtr<Storage> late = openStorage("good", true, AutoPtr<ResourceBroker>(broker));
    EXPECT_EQ(broker->loads, 1);
    AutoPtr<Storage> now = openStorage("good", false, AutoPtr<ResourceBroker>(broker));
    EXPECT_EQ(broker->loads, 2);
    EXPECT_EQ(now->getSize(), 10u);
    EXPECT_EQ(late->getSize(), 10u);
    EXPECT_EQ(thrownBy([&] { openStorage("missing", false, AutoPtr<ResourceBroker>(broker)); }).code, 12);
}

TEST(OpenStorage, DefaultBrokerOpensFilesAndCanBeReplaced)
{
    std::string path = testing::TempDir() + "vtx_broker_test.bin";
    std::ofstream(path, std::ios::binary) << "hello";
    AutoPtr<Storage> plain = openStorage(path.c_str(), false, nullptr);
    EXPECT_EQ(plain->getSize(), 5u);
#ifdef _WIN32
    std::string url = "file:///" + path;
#else
    std::string url = "file://" + path;
#endif
    EXPECT_EQ(openStorage(url.c_str(), true, nullptr)->getSize(), 5u);
    EXPECT_TRUE(thrownBy([&] { openStorage((path + ".none").c_str(), false, nullptr); }).thrown);

    static AutoPtr<TestBroker> registered(new TestBroker());
    setDefaultResourceBrokerFactory([] { return AutoPtr<ResourceBroker>(registered); });
    EXPECT_EQ(openStorage("good", false, nullptr)->getSize(), 10u);
    EXPECT_EQ(registered->loads, 1);
    setDefaultResourceBrokerFactory(nullptr);
    plain = nullptr;
    std::remove(path.c_str());
}
