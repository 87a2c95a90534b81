#include "commands.h"
#include "vtx_exception.h"

namespace Tessaline {

using namespace Vantorix;
using namespace Vantorix::DjVu;

OpenedPage openPage(const std::string& file, uint32_t number)
{
    OpenedPage opened;
    opened.document = Document::create(String(file));
    PageArray& pages = opened.document->getPages();
    if (pages.getSize() == 0) VTX_THROW(errNotFound, "The document has no pages!", "Tessaline::openPage");
    if (number == 0 || number > pages.getSize())
        VTX_THROW(errNotFound, String::format("There is no page %u: the document has %u!", number, pages.getSize()),
                  "Tessaline::openPage");
    opened.page = pages[number - 1];
    return opened;
}

} // namespace Tessaline
