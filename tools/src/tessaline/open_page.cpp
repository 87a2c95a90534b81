#include "commands.h"
#include "failure.h"
#include "vtx_exception.h"

namespace Tessaline {

using namespace Vantorix;
using namespace Vantorix::DjVu;

AutoPtr<Document> openDocument(const std::string& file)
{
    try {
        return Document::create(String(file), componentBroker());
    } catch (...) {
        throw failureAbout(file);
    }
}

OpenedPage openPage(const std::string& file, uint32_t number)
{
    OpenedPage opened;
    opened.document = openDocument(file);
    try {
        PageArray& pages = opened.document->getPages();
        if (pages.getSize() == 0) VTX_THROW(errNotFound, "The document has no pages!", "Tessaline::openPage");
        if (number == 0 || number > pages.getSize())
            VTX_THROW(errNotFound, String::format("There is no page %u: the document has %u!", number, pages.getSize()),
                      "Tessaline::openPage");
        opened.page = pages[number - 1];
    } catch (...) {
        throw failureAbout(file);
    }
    return opened;
}

} // namespace Tessaline
