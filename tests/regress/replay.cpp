// Feeds every file of one regression folder to the fuzzer entry point linked beside it. The
// entry point swallows the library's Exceptions, so what fails here is a crash, a hang or a
// sanitizer report: exactly what the input once caused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

TEST(Regress, ReplaysEveryInput)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    if (fs::is_directory(VTX_REGRESS_DIR))
        for (const auto& e : fs::directory_iterator(VTX_REGRESS_DIR))
            if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const auto& f : files) {
        SCOPED_TRACE(f.string());
        std::ifstream in(f, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0);
    }
    RecordProperty("inputs", int(files.size()));
}
