#include <atomic>

#include "vtx_exception.h"
#include "vtx_stream.h"

namespace _Vtx_Internal_NS_ {

using namespace Vantorix;

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "file:" URLs become paths: the authority ("//", "//localhost") is dropped, %XX escapes are
// decoded, and on Windows the slash before a drive letter goes ("file:///C:/x" is "C:/x").
String fileUrlToPath(const String& name)
{
    std::string s(name.getUtf8() + 5, name.getLength() - 5);
    if (s.rfind("//localhost/", 0) == 0)
        s.erase(0, 11);
    else if (s.rfind("///", 0) == 0)
        s.erase(0, 2);
    std::string path;
    for (size_t i = 0; i < s.size(); ++i) {
        int hi, lo;
        if (s[i] == '%' && i + 2 < s.size() && (hi = hexValue(s[i + 1])) >= 0 && (lo = hexValue(s[i + 2])) >= 0) {
            path += char(hi * 16 + lo);
            i += 2;
        } else {
            path += s[i];
        }
    }
#ifdef _WIN32
    if (path.size() >= 3 && path[0] == '/' && path[2] == ':') path.erase(0, 1);
#endif
    return String(path);
}

// What the base library can open on its own: plain names and "file:" URLs, read-only from disk.
// The DjVu layer registers a broker that knows more.
class FileResourceBroker final : public ResourceBroker {
public:
    AutoPtr<Storage> load(const String& name) override
    {
        String path = name.startsWith("file:") ? fileUrlToPath(name) : name;
        return AutoPtr<Storage>(DiskStorage::create(path, DiskStorage::accRead, DiskStorage::crOpenExisting));
    }
};

AutoPtr<ResourceBroker> makeFileResourceBroker() { return AutoPtr<ResourceBroker>(new FileResourceBroker()); }

std::atomic<ResourceBrokerFactory>& defaultFactory()
{
    static std::atomic<ResourceBrokerFactory> factory{nullptr};
    return factory;
}

} // namespace
} // namespace _Vtx_Internal_NS_

namespace Vantorix {

void setDefaultResourceBrokerFactory(ResourceBrokerFactory factory)
{
    _Vtx_Internal_NS_::defaultFactory().store(factory);
}

AutoPtr<ResourceBroker> getDefaultResourceBroker()
{
    ResourceBrokerFactory factory = _Vtx_Internal_NS_::defaultFactory().load();
    AutoPtr<ResourceBroker> broker = factory ? factory() : _Vtx_Internal_NS_::makeFileResourceBroker();
    if (!broker) VTX_THROW(errOperationFailed, "errOperationFailed", "Vantorix::getDefaultResourceBroker");
    return broker;
}

} // namespace Vantorix
