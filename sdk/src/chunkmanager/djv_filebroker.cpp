#include <cctype>
#include <string>

#include "djv_iff.h"

namespace _Vtx_Internal_NS_ {

using namespace Vantorix;

// Opens names as files on disk. Network names would need an HTTP manager, which this library
// does not include.
class FileResourceBroker final : public ResourceBroker {
public:
    AutoPtr<Storage> load(const String& name) override
    {
        const char* function = "_Vtx_Internal_NS_::FileResourceBroker::load";
        std::string s = name.toStdString();
        size_t colon = scheme(s);
        if (colon == std::string::npos) return open(name);
        std::string scheme = lower(s.substr(0, colon));
        if (scheme == "http" || scheme == "https") VTX_THROW(26, "No HTTP manager!", function);
        if (scheme != "file") VTX_THROW(7, "Unknown resource protocol!", function);
        return open(String(filePath(s.substr(colon + 1))));
    }

private:
    static AutoPtr<Storage> open(const String& path)
    {
        return DiskStorage::create(path, DiskStorage::accRead, DiskStorage::crOpenExisting);
    }

    // Position of the colon ending a URL scheme, or npos. One letter before a colon is a
    // drive ("C:\x"), not a scheme.
    static size_t scheme(const std::string& s)
    {
        size_t i = 0;
        while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '+' || s[i] == '-' || s[i] == '.'))
            ++i;
        if (i < 2 || i >= s.size() || s[i] != ':' || !std::isalpha(static_cast<unsigned char>(s[0])))
            return std::string::npos;
        return i;
    }

    static std::string lower(std::string s)
    {
        for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
        return s;
    }

    // "file:///a/b%20c" -> "/a/b c"; "file:///C:/x" -> "C:/x"; "file:rel" -> "rel".
    static std::string filePath(std::string rest)
    {
        if (rest.rfind("//", 0) == 0) {
            size_t slash = rest.find('/', 2);
            rest = slash == std::string::npos ? std::string() : rest.substr(slash); // host is ignored
        }
        if (rest.size() >= 3 && rest[0] == '/' && std::isalpha(static_cast<unsigned char>(rest[1])) && rest[2] == ':')
            rest.erase(0, 1);
        std::string out;
        for (size_t i = 0; i < rest.size(); ++i) {
            if (rest[i] == '%' && i + 2 < rest.size() && std::isxdigit(static_cast<unsigned char>(rest[i + 1])) &&
                std::isxdigit(static_cast<unsigned char>(rest[i + 2]))) {
                out += char(std::stoi(rest.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                out += rest[i];
            }
        }
        return out;
    }
};

} // namespace _Vtx_Internal_NS_

namespace Vantorix::DjVu::IFF {
namespace {

AutoPtr<ResourceBroker> makeFileBroker() { return makeAuto<_Vtx_Internal_NS_::FileResourceBroker>(); }

// Installed when the library starts, so that a program may still replace it afterwards.
const bool registered = (setDefaultResourceBrokerFactory(&makeFileBroker), true);

} // namespace

AutoPtr<ResourceBroker> createFileResourceBroker()
{
    (void)registered;
    return makeFileBroker();
}

} // namespace Vantorix::DjVu::IFF
