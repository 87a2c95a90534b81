#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "vtx_exception.h"

using namespace Vantorix;

TEST(Exception, MessageLine)
{
    Exception e(7, "errInvalidParam", "src/vtx_memstorage.cpp", 163, "Vantorix::MemoryStorageImpl::setPos");
    EXPECT_STREQ(e.what(), "src/vtx_memstorage.cpp(163) : Vantorix::MemoryStorageImpl::setPos: Error 7: errInvalidParam\n");
    EXPECT_EQ(e.getCode(), 7);
    Exception neg(-2, String("errInternalError"), "f.cpp", 1, "g");
    EXPECT_STREQ(neg.what(), "f.cpp(1) : g: Error -2: errInternalError\n");
}

TEST(Exception, ThrowMacroNamesThisFile)
{
    try {
        VTX_THROW(20, "errDataBroken", "Vantorix::Test::f");
    } catch (const Exception& e) {
        std::string msg = e.what();
        EXPECT_EQ(msg.rfind("tests/baselib/test_exception.cpp(", 0), 0u) << msg;
        EXPECT_NE(msg.find(") : Vantorix::Test::f: Error 20: errDataBroken\n"), std::string::npos);
    }
}

#ifndef _WIN32
TEST(Exception, DiagnosticFileGetsOneLinePerBuiltException)
{
    std::string path = testing::TempDir() + "vtx_diag.txt";
    std::remove(path.c_str());
    setenv("_QRMB_DEBUG_FILE", path.c_str(), 1);
    {
        Exception e(13, "errEOF", "a.cpp", 5, "f");
        Exception copy(e);
        (void)copy;
    }
    unsetenv("_QRMB_DEBUG_FILE");
    Exception untouched(13, "errEOF", "a.cpp", 6, "f");
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    std::string expected = std::to_string(getpid()) + " a.cpp(5) : f: Error 13: errEOF\n\n";
    EXPECT_EQ(all.str(), expected);
    std::remove(path.c_str());
}
#endif
