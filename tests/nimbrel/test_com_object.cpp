// CNimbrelV as the shell meets it: found through the .djvu handler key, created with
// CoCreateInstance, fed with SHCreateMemStream; its interfaces, codes, trace and lifetime.
#include <gtest/gtest.h>

#include <propsys.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "com_testutil.h"
#include "djv_document.h"
#include "nimbrel_h.h"
#include "nimbrel_thumbnail.h"
#include "vtx_exception.h"

using namespace Vantorix;

namespace {

const std::string kFixtures = VTX_FIXTURE_DIR "/";

struct ComApartment : ::testing::Environment {
    void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void TearDown() override { CoUninitialize(); }
};
const auto* const apartment = ::testing::AddGlobalTestEnvironment(new ComApartment);

// What buildThumbnail gives in this process for the file.
Picture reference(const std::string& path, uint32_t cx)
{
    Picture p;
    AutoPtr<DjVu::Document> doc = DjVu::Document::create(String(path));
    const auto size = Nimbrel::buildThumbnail(*doc->getPages()[0], cx, [&p](uint32_t w, uint32_t h) {
        p.bits.assign(size_t(w) * h * 4, 0);
        return p.bits.data();
    });
    p.result = S_OK;
    p.width = size.width;
    p.height = size.height;
    return p;
}

Picture thumbnailOfFile(const std::string& path, UINT cx)
{
    Provider p;
    EXPECT_EQ(p.initializeWith(readFile(path)), S_OK);
    return comThumbnail(p.provider.get(), cx);
}

// The fixture kinds that the build lists, each with references written by the Linux build.
std::vector<std::string> kinds()
{
    std::vector<std::string> list;
    std::string all = NIMBREL_KINDS;
    for (size_t start = 0, comma; start <= all.size(); start = comma + 1) {
        comma = all.find(',', start);
        if (comma == std::string::npos) comma = all.size();
        list.push_back(all.substr(start, comma - start));
    }
    return list;
}

// The Linux thumbnail (a top-down RGB PPM) as bottom-up blue, green, red, 0 pixels.
Picture linuxThumbnail(std::string kind, UINT cx)
{
    for (char& c : kind)
        if (c == '/') c = '_';
    const std::vector<uint8_t> ppm = readFile(NIMBREL_REFS "/" + kind + "_" + std::to_string(cx) + ".ppm");
    Picture p;
    unsigned w = 0, h = 0, max = 0;
    int header = 0;
    if (std::sscanf(reinterpret_cast<const char*>(ppm.data()), "P6 %u %u %u%n", &w, &h, &max, &header) != 3) return p;
    const uint8_t* rgb = ppm.data() + header + 1;
    if (ppm.size() != size_t(header) + 1 + size_t(w) * h * 3) return p;
    p.result = S_OK;
    p.width = w;
    p.height = h;
    p.bits.resize(size_t(w) * h * 4);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const uint8_t* in = rgb + (size_t(y) * w + x) * 3;
            uint8_t* out = p.bits.data() + (size_t(h - 1 - y) * w + x) * 4;
            out[0] = in[2], out[1] = in[1], out[2] = in[0], out[3] = 0;
        }
    return p;
}

TEST(ExplorerPath, ThumbnailsEqualBuildThumbnailHereAndOnLinux)
{
    for (const std::string& kind : kinds())
        for (UINT cx : {32u, 96u, 256u, 1024u}) {
            const Picture got = thumbnailOfFile(kFixtures + kind, cx);
            ASSERT_EQ(got.result, S_OK) << kind << " " << cx;
            EXPECT_EQ(std::max(got.width, got.height), cx);
            for (const Picture& want : {reference(kFixtures + kind, cx), linuxThumbnail(kind, cx)}) {
                ASSERT_EQ(want.result, S_OK) << kind << " " << cx;
                EXPECT_EQ(got.width, want.width) << kind << " " << cx;
                EXPECT_EQ(got.height, want.height) << kind << " " << cx;
                EXPECT_TRUE(got.bits == want.bits) << kind << " " << cx;
            }
        }
}

TEST(ExplorerPath, IndirectIndexFailsCleanly)
{
    EXPECT_EQ(thumbnailOfFile(kFixtures + "container/doc_indirect/index.djvu", 96).result, E_FAIL);
}

TEST(ExplorerPath, HostileFilesGiveOkOrFail)
{
    std::vector<std::vector<uint8_t>> inputs;
    // Every fuzz regression input (the folders of tests/regress), and mutated fixtures.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(VTX_SOURCE_DIR "/tests/regress"))
        if (entry.is_regular_file() && entry.path().parent_path() != VTX_SOURCE_DIR "/tests/regress")
            inputs.push_back(readFile(entry.path().string()));
    EXPECT_GE(inputs.size(), 2u);
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (const std::string& kind : kinds()) {
        const std::vector<uint8_t> original = readFile(kFixtures + kind);
        for (int i = 0; i < 40; ++i) {
            std::vector<uint8_t> bytes = original;
            if (i % 4 == 0) bytes.resize(next() % bytes.size());
            for (int flips = 1 + int(next() % 8); flips > 0 && !bytes.empty(); --flips)
                bytes[next() % bytes.size()] ^= uint8_t(1 + next() % 255);
            inputs.push_back(bytes);
        }
    }
    for (const auto& bytes : inputs) {
        Provider p;
        ASSERT_EQ(p.initializeWith(bytes), S_OK);
        const HRESULT result = comThumbnail(p.provider.get(), 64).result;
        EXPECT_TRUE(result == S_OK || result == E_FAIL) << std::hex << result;
    }
}

TEST(Provider, SecondThumbnailReusesTheDocumentAndInitializeDropsIt)
{
    const std::string text = kFixtures + "container/text300.djvu", photo = kFixtures + "container/photo.djvu";
    Provider p;
    ASSERT_EQ(p.initializeWith(readFile(text)), S_OK);
    ASSERT_EQ(comThumbnail(p.provider.get(), 96).bits, reference(text, 96).bits);
    // With the document open, the file's header is not read again: spoiled behind the
    // provider's back, it still gives the thumbnail.
    LARGE_INTEGER start = {};
    ASSERT_EQ(p.stream->Seek(start, STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(p.stream->Write("XXXX", 4, nullptr), S_OK);
    const Picture again = comThumbnail(p.provider.get(), 48);
    EXPECT_EQ(again.result, S_OK);
    EXPECT_EQ(again.bits, reference(text, 48).bits);
    ASSERT_EQ(p.initializeWith(readFile(photo)), S_OK);
    EXPECT_EQ(comThumbnail(p.provider.get(), 96).bits, reference(photo, 96).bits);
}

TEST(Provider, OrderlyFailures)
{
    Provider p;
    IThumbnailProvider* provider = p.provider.get();
    EXPECT_EQ(comThumbnail(provider, 96).result, E_FAIL); // before Initialize
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha;
    EXPECT_EQ(provider->GetThumbnail(96, nullptr, &alpha), E_POINTER);
    EXPECT_EQ(provider->GetThumbnail(96, &bitmap, nullptr), E_POINTER);
    EXPECT_EQ(initialize(provider, nullptr), E_FAIL);
    ASSERT_EQ(p.initializeWith(readFile(kFixtures + "container/photo.djvu")), S_OK);
    EXPECT_EQ(comThumbnail(provider, 0).result, E_FAIL);
    EXPECT_EQ(comThumbnail(provider, 32).result, S_OK);
    // 1 x 333 pixels: at 32 the width truncates to 0.
    EXPECT_EQ(thumbnailOfFile(kFixtures + "mmr/column.djvu", 32).result, E_FAIL);
    EXPECT_EQ(thumbnailOfFile(kFixtures + "mmr/column.djvu", 333).result, S_OK);
}

} // namespace
