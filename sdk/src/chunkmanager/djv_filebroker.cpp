#include <cctype>
#include <string>

#include "chunkmanager/djv_deserializer.h"

namespace _Vtx_Internal_NS_ {

using namespace Vantorix;

// The document layer's default broker: sorts names by scheme and hands files (plain names and
// "file:" locations) to the disk opener it was made with. Network names would need an HTTP
// manager, which this library does not have.
class FileResourceBroker final : public ResourceBroker {
public:
    explicit FileResourceBroker(const AutoPtr<ResourceBroker>& disk) : disk_(disk) {}

    AutoPtr<Storage> load(const String& name) override
    {
        const char* function = "_Vtx_Internal_NS_::FileResourceBroker::load";
        std::string scheme = schemeOf(name.toStdString());
        if (scheme == "http" || scheme == "https") VTX_THROW(errOperationFailed, "No HTTP manager!", function);
        if (!scheme.empty() && scheme != "file") VTX_THROW(errInvalidParam, "Unknown resource protocol!", function);
        return disk_->load(name);
    }

private:
    // The lower-cased URL scheme of a name, or empty. One letter before a colon is a drive
    // ("C:\x"), not a scheme.
    static std::string schemeOf(const std::string& s)
    {
        size_t i = 0;
        while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '+' || s[i] == '-' || s[i] == '.'))
            ++i;
        if (i < 2 || i >= s.size() || s[i] != ':' || !std::isalpha(static_cast<unsigned char>(s[0]))) return {};
        std::string scheme = s.substr(0, i);
        for (char& c : scheme) c = char(std::tolower(static_cast<unsigned char>(c)));
        return scheme;
    }

    AutoPtr<ResourceBroker> disk_;
};

} // namespace _Vtx_Internal_NS_

namespace Vantorix::DjVu::IFF {
namespace {

// The broker that was the default before this one: it opens files from disk.
AutoPtr<ResourceBroker>& diskBroker()
{
    static AutoPtr<ResourceBroker> broker;
    return broker;
}

AutoPtr<ResourceBroker> makeFileBroker()
{
    if (!diskBroker()) diskBroker() = getDefaultResourceBroker();
    return makeAuto<_Vtx_Internal_NS_::FileResourceBroker>(diskBroker());
}

// Installed when the library starts, so that a program may still replace it afterwards.
const bool registered = (makeFileBroker(), setDefaultResourceBrokerFactory(&makeFileBroker), true);

} // namespace

AutoPtr<ResourceBroker> createFileResourceBroker() { return makeFileBroker(); }

AutoPtr<ResourceBroker> defaultResourceBroker()
{
    (void)registered;
    return getDefaultResourceBroker();
}

} // namespace Vantorix::DjVu::IFF
