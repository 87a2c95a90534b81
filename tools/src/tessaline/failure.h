// How tessaline tells a person what went wrong: one line "tessaline: FILE: [page N: ]words",
// followed by the library's own message line (source, function, code) with --verbose or when the
// diagnostic file (_QRMB_DEBUG_FILE) is set. The library's messages stay as they are: this is
// the one place that puts them into a user's words.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "vtx_stream.h"

namespace Tessaline {

// A failure put into words, ready for standard error (what() ends in a newline).
class Failure : public std::exception {
public:
    explicit Failure(std::string text) : text_(std::move(text)) {}
    const char* what() const noexcept override { return text_.c_str(); }

private:
    std::string text_;
};

// Adds the library's message line to every failure from now on.
void setVerbose(bool verbose);

// The exception being handled as a Failure about file and, when page is not 0, its page
// (counted from 1); a Failure stays as it is and a usage error (CLI::Error) is thrown on. Call
// it only inside a catch block.
Failure failureAbout(const std::string& file, uint32_t page = 0);

// The default resource broker, except that it notes (per thread) the component it could not
// open, so that the failure of an indirect document can name the missing file.
Vantorix::AutoPtr<Vantorix::ResourceBroker> componentBroker();

} // namespace Tessaline
