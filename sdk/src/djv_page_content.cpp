// What a page carries besides its picture: the hidden text and the annotations, each read
// from its chunks on first request and kept.
#include "djv_page_impl.h"

namespace _Vtx_Internal_NS_ {

using namespace Vantorix;
using namespace Vantorix::DjVu;

AutoPtr<TextZone> PageImpl::getText()
{
    const PageInfo info = getInfo();
    AutoLock hold(*chunk_);
    if (!text_) {
        int32_t at = chunk_->find("TXTa", "TXTz", -1, false);
        if (at >= 0) text_ = TextZone::decode(*chunk_->getChildren()[at], info);
    }
    return text_;
}

AutoPtr<Annotation> PageImpl::getAnnotation()
{
    AutoLock hold(*chunk_);
    if (!annotation_) {
        // A shared component stands where the page includes it, before the page's own chunk.
        AutoPtr<Annotation> made;
        for (int32_t at = chunk_->find("ANTa", "ANTz", -1, false); at >= 0;
             at = chunk_->find("ANTa", "ANTz", at, false)) {
            if (!made) made = Annotation::create();
            made->decode(*chunk_->getChildren()[at]);
        }
        annotation_ = made;
    }
    return annotation_;
}

} // namespace _Vtx_Internal_NS_
