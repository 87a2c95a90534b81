#include "failure.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <new>

#include <CLI/CLI.hpp>

#include "vtx_exception.h"

namespace Tessaline {
namespace {

using namespace Vantorix;

bool verboseFailures = false;
// The component that the broker of this thread last failed to open (empty: none).
thread_local std::string failedComponent;

// The parts of a library message line "SOURCE(LINE) : FUNCTION: Error CODE: TEXT".
struct Diagnostic {
    std::string function, text;
};

Diagnostic parse(const std::string& line)
{
    Diagnostic d;
    const size_t from = line.find(" : "), error = line.find(": Error ", from == std::string::npos ? 0 : from);
    if (from == std::string::npos || error == std::string::npos) {
        d.text = line;
    } else {
        d.function = line.substr(from + 3, error - from - 3);
        const size_t text = line.find(": ", error + 8);
        d.text = text == std::string::npos ? std::string() : line.substr(text + 2);
    }
    while (!d.text.empty() && (d.text.back() == '\n' || d.text.back() == '!')) d.text.pop_back();
    return d;
}

bool has(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

// A file whose data ends too early: empty, not DjVu at all, or a DjVu file cut short.
std::string shortFile(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) return "the data ends too early"; // a file: location, or gone since
    char head[16] = {};
    in.read(head, sizeof head);
    if (in.gcount() == 0) return "empty file";
    const std::string h(head, size_t(in.gcount()));
    if (h.compare(0, 8, "AT&TFORM") != 0) return "not a DjVu file";
    return "truncated DjVu file (it ends inside a chunk)";
}

// Which kind of data a decoder failed on, from its function's name.
std::string dataKind(const Diagnostic& d)
{
    static const std::pair<const char*, const char*> kinds[] = {
        {"JB2", "JB2"}, {"IW44", "IW44"}, {"MMR", "MMR"}, {"Mmr", "MMR"}, {"Inflate", "BZZ"}, {"BlockSort", "BZZ"},
        {"ZP", "ZP-coded"}};
    for (const auto& [part, name] : kinds)
        if (has(d.function, part) || has(d.text, part)) return std::string("damaged ") + name + " data";
    return "damaged DjVu file";
}

// The library's failure in a user's words.
std::string words(const Exception& e, const std::string& file)
{
    const Diagnostic d = parse(e.what());
    const int32_t code = e.getCode();
    // The system's own words for files that cannot be opened or read.
    if (d.function.rfind("Vantorix::DiskStorageImpl::", 0) == 0 && d.text.rfind("DiskStorageImpl::", 0) == 0)
        return d.text.substr(d.text.find(": ") + 2);
    if ((code == errReadFailed && has(d.function, "readBytes")) || d.text == "No more data" ||
        has(d.text, "beyond the end of the file") || has(d.text, "read error") || has(d.text, "many bytes"))
        return shortFile(file);
    if (d.text == "Not a valid DjVu file" || d.text == "The top level chunk is not a FORM chunk")
        return "not a DjVu file";
    if (code == errWriteFailed) {
        const size_t reason = d.text.rfind(": ");
        return "cannot write the file" + (reason == std::string::npos ? std::string() : d.text.substr(reason));
    }
    if (code == errOutOfMemory) return "out of memory";
    std::string detail = d.text;
    if (detail.empty()) return "error " + std::to_string(code);
    if (has(d.function, "Tessaline::")) { // our own messages are written for the user already
        if (!detail.empty()) detail[0] = char(std::tolower(static_cast<unsigned char>(detail[0])));
        return detail;
    }
    if (code == errDataBroken) return dataKind(d) + " (" + detail + ")";
    if (code == errLimitExceeded) return "too large to decode (" + detail + ")";
    if (code == errNotSupported || code == errNotImplemented) return "not supported (" + detail + ")";
    return detail;
}

bool verbose()
{
    if (verboseFailures) return true;
    const char* diagnostics = std::getenv("_QRMB_DEBUG_FILE");
    return diagnostics && *diagnostics;
}

class ComponentBroker final : public ResourceBroker {
public:
    explicit ComponentBroker(const AutoPtr<ResourceBroker>& next) : next_(next) {}

    AutoPtr<Storage> load(const String& name) override
    {
        try {
            return next_->load(name);
        } catch (...) {
            failedComponent = name.toStdString();
            throw;
        }
    }

private:
    AutoPtr<ResourceBroker> next_;
};

} // namespace

void setVerbose(bool verbose) { verboseFailures = verbose; }

Failure failureAbout(const std::string& file, uint32_t page)
{
    std::string line = "tessaline: " + (file.empty() ? std::string() : file + ": ");
    if (page != 0) line += "page " + std::to_string(page) + ": ";
    // The broker also opens the document's own file: that one is named already.
    if (!failedComponent.empty() && failedComponent != file) line += "component " + failedComponent + ": ";
    failedComponent.clear();
    std::string diagnostic;
    try {
        throw;
    } catch (const Failure& f) {
        return f;
    } catch (const CLI::Error&) {
        throw; // a usage error: main reports it as such
    } catch (const Exception& e) {
        line += words(e, file);
        diagnostic = e.what();
    } catch (const std::bad_alloc&) {
        line += "out of memory";
    } catch (const std::exception& e) {
        line += e.what();
    }
    line += '\n';
    if (verbose() && !diagnostic.empty()) line += diagnostic;
    return Failure(line);
}

AutoPtr<ResourceBroker> componentBroker()
{
    failedComponent.clear(); // a new document: what an earlier one could not open is no news
    return makeAuto<ComponentBroker>(getDefaultResourceBroker());
}

} // namespace Tessaline
