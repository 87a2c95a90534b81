#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

#include "testutil.h"
#include "vtx_platform.h"

using namespace Vantorix;

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

} // namespace

TEST(Exception, MessageLine)
{
    Exception e(7, "errInvalidParam", "src/vtx_memstorage.cpp", 163, "Vantorix::MemoryStorageImpl::setPos");
    EXPECT_STREQ(e.what(), "src/vtx_memstorage.cpp(163) : Vantorix::MemoryStorageImpl::setPos: Error 7: errInvalidParam\n");
    EXPECT_EQ(e.getCode(), 7);
    Exception neg(-2, String("errInternalError"), "f.cpp", 1, "g");
    EXPECT_STREQ(neg.what(), "f.cpp(1) : g: Error -2: errInternalError\n");
    EXPECT_EQ(neg.getMessage(), "f.cpp(1) : g: Error -2: errInternalError\n");
    Exception copy(neg);
    EXPECT_STREQ(copy.what(), neg.what());
    EXPECT_EQ(copy.getCode(), -2);
    // Texts with percent signs are not formats.
    Exception pct(5000, String("100% %s"), "f.cpp", 2, "h");
    EXPECT_STREQ(pct.what(), "f.cpp(2) : h: Error 5000: 100% %s\n");
}

TEST(Exception, ThrowMacroNamesThisFile)
{
    std::string msg = vtxtest::thrownBy([] { VTX_THROW(20, "errDataBroken", "Vantorix::Test::f"); }).message;
    EXPECT_EQ(msg.rfind("tests/baselib/test_exception.cpp(", 0), 0u) << msg;
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

    // A value longer than 260 characters is not a path we use.
    std::string longPath = testing::TempDir() + std::string(270, 'x');
    setVariable("_QRMB_DEBUG_FILE", longPath.c_str());
    Exception ignored(13, "errEOF", "a.cpp", 7, "f");
    setVariable("_QRMB_DEBUG_FILE", "");
    Exception alsoIgnored(13, "errEOF", "a.cpp", 8, "f");
    setVariable("_QRMB_DEBUG_FILE", nullptr);
    EXPECT_EQ(fileText(path), expected);
    std::remove(path.c_str());
}

TEST(Platform, EnvironmentAndNarrowText)
{
    setVariable("VTX_TEST_VARIABLE", "caf\xc3\xa9");
    String v = Platform::getEnvironment("VTX_TEST_VARIABLE", 260);
    EXPECT_EQ(v.getLength(), 5u);
    EXPECT_EQ(v.getUtf32()[3], 0xE9u);
    EXPECT_TRUE(Platform::getEnvironment("VTX_TEST_VARIABLE", 3).isEmpty());
    setVariable("VTX_TEST_VARIABLE", nullptr);
    EXPECT_TRUE(Platform::getEnvironment("VTX_TEST_VARIABLE", 260).isEmpty());

    const char16_t wide[] = {u'a', 0xE9, 0};
    std::string narrow = Platform::utf16ToNarrow(wide, 2);
    EXPECT_EQ(Platform::narrowToUtf16(narrow.data(), narrow.size()), std::u16string(wide));
    EXPECT_EQ(String::fromNarrow(narrow.c_str()).getUtf16()[1], 0xE9);
}
