// Helpers for the runtime tests: run a callable and report the Exception it threw.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "vtx_exception.h"

namespace Vantorix {
// Lets GoogleTest print Strings in failure messages.
inline void PrintTo(const String& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
} // namespace Vantorix

namespace vtxtest {

struct Thrown {
    bool thrown = false;
    int32_t code = 0;
    std::string message;
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
    ASSERT_TRUE(t.thrown) << "expected " << function << " to throw " << code;
    EXPECT_EQ(t.code, code) << t.message;
    std::string tail = function + ": Error " + std::to_string(code) + ": " + text + "\n";
    EXPECT_TRUE(t.message.size() >= tail.size() && t.message.compare(t.message.size() - tail.size(), tail.size(), tail) == 0)
        << "message: " << t.message << "wanted tail: " << tail;
}

} // namespace vtxtest
