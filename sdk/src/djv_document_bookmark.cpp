// The document's outline, read from the NAVM chunk that the reader puts first in the root.
#include "djv_compressStream.h"
#include "djv_document_impl.h"

namespace _Vtx_Internal_NS_ {

using namespace Vantorix;
using namespace Vantorix::DjVu;

AutoPtr<Bookmark> DocumentImpl::getBookmark()
{
    if (navigation_) return navigation_;
    ChunkArray& children = root_->getChildren();
    if (children.empty() || children[0]->getId() != "NAVM") {
        navigation_ = Bookmark::createRoot();
    } else {
        AutoPtr<Storage> payload = children[0]->getData()->getStream(true);
        AutoPtr<DjVu::InflateStream> plain = DjVu::InflateStream::create(AutoPtr<Stream>(payload), 0, 16);
        navigation_ = Bookmark::read(*plain);
    }
    return navigation_;
}

} // namespace _Vtx_Internal_NS_
