// The chunk tree classes: payloads, the wrong operation for a kind of chunk, find, loadAll
// order and the two forwarders.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "container_test_util.h"
#include "djv_chunkimpls.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace ContainerTest;

namespace {

AutoPtr<Chunk> leaf(const char* id, const std::string& bytes = "x")
{
    return ChunkImpl::create(id, bytes.data(), uint32_t(bytes.size()));
}

AutoPtr<ChunkCollection> collectionOf(const char* id, std::initializer_list<AutoPtr<Chunk>> children)
{
    auto c = ChunkCollection::create(id);
    for (auto& child : children) c->append(child);
    return c;
}

void record(void* ctx, Chunk* c) { static_cast<std::vector<std::string>*>(ctx)->push_back(c->getId().toStdString()); }

} // namespace

TEST(MemoryData, StreamOutlivesTheChunkAndCloneCopies)
{
    AutoPtr<Chunk> c = leaf("INFO", "abcdef");
    AutoPtr<Storage> s = c->getData()->getStream(true);
    EXPECT_FALSE(c->getData()->getStream(false));
    c->setData(nullptr); // the stream keeps the payload alive
    char buf[8] = {};
    EXPECT_EQ(s->readBytes(buf, 4, false), 4u);
    EXPECT_EQ(std::string(buf, 4), "abcd");
    EXPECT_EQ(s->readBytes(buf, 4, false), 2u);
    EXPECT_TRUE(s->isEof());
    s->setPos(4);
    expectThrow([&] { s->readBytes(buf, 3, true); }, 26, "Vantorix::DjVu::DataStorage::readBytes", "No more data!");
    EXPECT_EQ(s->getPos(), 4u); // a refused read leaves the position
    EXPECT_THROW(s->writeBytes("z", 1), Exception);

    AutoPtr<MemoryData> d = MemoryData::create(5);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(d->getBytes()), d->getLength()), std::string(5, '\0'));
    d->getArray()[0] = 7;
    AutoPtr<Data> copy = d->clone();
    d->getArray()[0] = 9;
    EXPECT_EQ(copy->getBytes()[0], 7);
}

TEST(ChunkKinds, WrongOperationThrowsAndNamesDiffer)
{
    AutoPtr<Chunk> l = leaf("Sjbz");
    AutoPtr<Chunk> c = ChunkCollection::create("DJVU");
    expectThrow([&] { l->getChildren(); }, 26, "Vantorix::DjVu::ChunkImpl::getChildren", "Not a collection chunk!");
    expectThrow([&] { l->find("INFO", -1, false); }, 26, "Vantorix::DjVu::ChunkImpl::find", "Not a collection chunk!");
    expectThrow([&] { c->getData(); }, 27, "Vantorix::DjVu::ChunkCollection::getData",
                "Cannot get data from collection chunk!");
    expectThrow([&] { c->setData(nullptr); }, 27, "Vantorix::DjVu::ChunkCollection::setData",
                "Cannot set data to collection chunk!");
    EXPECT_TRUE(c->isCollection() && !l->isCollection());

    auto a = ChunkCollection::create("DJVI"), b = ChunkCollection::create("DJVI");
    EXPECT_TRUE(a->getName().endsWith(".iff"));
    EXPECT_NE(a->getName(), b->getName());
}

TEST(ChunkCollection, FindWalksFromAfterStartAndCanSkipUnavailable)
{
    EXPECT_EQ(ChunkCollection::create("DJVU")->find("INFO", -1, false), -1);
    AutoPtr<Chunk> c = collectionOf("DJVU", {leaf("INFO"), leaf("BG44"), leaf("Sjbz"), leaf("BG44"), leaf("FG44")});
    const std::tuple<const char*, int32_t, int32_t> cases[] = {
        {"INFO", -1, 0}, {"BG44", -1, 1}, {"BG44", 1, 3}, {"BG44", 3, -1}, {"INFO", 0, -1}, {"FG44", 100, -1}};
    for (auto [id, after, at] : cases) EXPECT_EQ(c->find(id, after, false), at) << id << " after " << after;
    EXPECT_EQ(c->find("Sjbz", "FG44", 2, false), 4);
    EXPECT_EQ(c->find("Smmr", "Sjbz", -1, false), 2);

    AutoPtr<Chunk> u = collectionOf("DJVU", {ChunkImpl::create("BG44"), leaf("BG44")});
    EXPECT_FALSE(u->isAvailable());
    EXPECT_EQ(u->find("BG44", -1, false), 0);
    EXPECT_EQ(u->find("BG44", -1, true), 1);
}

TEST(ChunkCollection, LoadAllVisitsChildrenBeforeParent)
{
    AutoPtr<Chunk> tree = collectionOf(
        "DJVM", {leaf("NAVM"), collectionOf("DJVU", {leaf("INFO"), leaf("Sjbz")}), collectionOf("DJVI", {leaf("Djbz")})});
    std::vector<std::string> order;
    tree->loadAll(&record, &order);
    EXPECT_EQ(order, (std::vector<std::string>{"NAVM", "INFO", "Sjbz", "DJVU", "Djbz", "DJVI", "DJVM"}));
    tree->loadAll(nullptr, nullptr); // a null callback is allowed
}

TEST(Forwarders, RedirectorAndLazyChunk)
{
    AutoPtr<Chunk> target = collectionOf("DJVU", {leaf("INFO")});
    AutoPtr<ChunkRedirector> r1 = ChunkRedirectorImpl::create(target);
    AutoPtr<ChunkRedirector> r2 = ChunkRedirectorImpl::create(AutoPtr<Chunk>(r1));
    EXPECT_EQ(r2->getTarget().get(), target.get()); // never a redirector to a redirector
    EXPECT_EQ(r2->find("INFO", -1, false), 0);
    EXPECT_EQ(&r2->getChildren(), &target->getChildren());
    EXPECT_THROW(ChunkRedirectorImpl::create(nullptr), Exception);

    // A lazy chunk looks its index up again at every call.
    AutoPtr<ChunkCollection> c = collectionOf("DJVM", {leaf("NAVM", "one")});
    AutoPtr<Chunk> lazy = LazyLoadChunk::create(AutoPtr<Chunk>(c), 1);
    expectThrow([&] { lazy->getId(); }, 7, "Vantorix::DjVu::LazyLoadChunk::getChunk", "index out of range!");
    EXPECT_THROW(lazy->getData(), Exception);
    c->append(leaf("DJVU", "two"));
    EXPECT_EQ(lazy->getId(), "DJVU");
    c->getChildren()[1] = leaf("THUM", "three");
    EXPECT_EQ(payloadOf(*lazy), "three");
    c->getChildren()[0] = ChunkImpl::create("NAVM"); // the collection is no longer available
    EXPECT_FALSE(lazy->isAvailable());
}
