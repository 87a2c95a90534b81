// The NAVM payload: a total count, then the bookmarks in pre-order, each with the number of
// its direct children.
#include "djv_bookmark.h"

#include <string>

#include "djv_annotation.h"
#include "djv_payload.h"
#include "vtx_exception.h"

namespace _Vtx_Internal_NS_ {

using namespace Vantorix;
using namespace Vantorix::DjVu;

namespace {

// At most 255 children a level, so a real outline is shallow; deeper input is hostile.
constexpr uint32_t kMaxBookmarkDepth = 256;

class BookmarkImpl : public Bookmark {
public:
    BookmarkImpl(const String& title, const String& link) : title_(title), link_(link) {}
    const String& getTitle() const override { return title_; }
    const String& getLink() const override { return link_; }
    const BookmarkArray& getChildren() const override { return children_; }
    void append(const AutoPtr<Bookmark>& child) { children_.append(child); }

private:
    String title_, link_;
    BookmarkArray children_;
};

// A title or link: up to its stated length, whatever is there.
String readField(Stream& in)
{
    std::string bytes = readString(in, readBigEndian(in, 3), false);
    return String::fromUtf8(bytes.data(), int32_t(bytes.size()));
}

AutoPtr<Bookmark> readOne(Stream& in, uint32_t& count, uint32_t depth)
{
    if (depth > kMaxBookmarkDepth)
        VTX_THROW(errDataBroken, "Bookmarks nest too deeply!", "_Vtx_Internal_NS_::readOne");
    uint32_t children = readBigEndian(in, 1);
    String title = readField(in);
    String link = Annotation::convertLink(readField(in));
    AutoPtr<BookmarkImpl> bookmark = makeAuto<BookmarkImpl>(title, link);
    ++count;
    for (uint32_t i = 0; i < children; ++i) bookmark->append(readOne(in, count, depth + 1));
    return AutoPtr<Bookmark>(bookmark);
}

} // namespace

} // namespace _Vtx_Internal_NS_

namespace Vantorix::DjVu {

AutoPtr<Bookmark> Bookmark::createRoot()
{
    return makeAuto<_Vtx_Internal_NS_::BookmarkImpl>(String(), String());
}

AutoPtr<Bookmark> Bookmark::read(Stream& payload)
{
    AutoPtr<Bookmark> root = createRoot();
    auto& impl = static_cast<_Vtx_Internal_NS_::BookmarkImpl&>(*root);
    const uint32_t total = _Vtx_Internal_NS_::readBigEndian(payload, 2);
    uint32_t count = 0;
    while (count < total) impl.append(_Vtx_Internal_NS_::readOne(payload, count, 0));
    return root;
}

} // namespace Vantorix::DjVu
