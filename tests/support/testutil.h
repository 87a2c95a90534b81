// Helpers every test folder uses: whole files, memory streams, and the Exception a call throws.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "vtx_exception.h"
#include "vtx_stream.h"
#include "vtx_string.h"

namespace Vantorix {
// Lets GoogleTest print Strings in failure messages.
inline void PrintTo(const String& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
} // namespace Vantorix

namespace vtxtest {

using Bytes = std::vector<uint8_t>;

inline Bytes readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool fileExists(const std::filesystem::path& path) { return std::ifstream(path).good(); }

// A readable storage over a copy of the bytes (a vector or a string).
template <class Container = Bytes>
Vantorix::AutoPtr<Vantorix::MemoryStorage> streamOf(const Container& bytes)
{
    return Vantorix::MemoryStorage::create(std::data(bytes), uint32_t(std::size(bytes)));
}

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct Thrown {
    bool thrown = false;
    int32_t code = 0;
    std::string message; // the whole message line, "" when nothing was thrown
};

template <class F>
Thrown thrownBy(F&& f)
{
    Thrown t;
    try {
        f();
    } catch (const Vantorix::Exception& e) {
        t.thrown = true;
        t.code = e.getCode();
        t.message = e.what();
    }
    return t;
}

// Expects f to throw code with a message line ending in "<function>: Error <code>: <text>\n".
template <class F>
void expectThrow(F&& f, int32_t code, const std::string& function, const std::string& text)
{
    Thrown t = thrownBy(f);
    ASSERT_TRUE(t.thrown) << "expected " << function << " to throw " << code << ": " << text;
    EXPECT_EQ(t.code, code) << t.message;
    std::string tail = function + ": Error " + std::to_string(code) + ": " + text + "\n";
    EXPECT_TRUE(t.message.size() >= tail.size() && t.message.compare(t.message.size() - tail.size(), tail.size(), tail) == 0)
        << "message: " << t.message << "wanted tail: " << tail;
}

} // namespace vtxtest
