// pages FILE: opens a DjVu document with the installed library and prints its kind and, for
// every page, the displayed size, the resolution and the rotation.
#include <cstdio>
#include <exception>

#include "djv_document.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: pages FILE\n");
        return 2;
    }
    try {
        AutoPtr<Document> document = Document::create(String(argv[1]));
        PageArray& pages = document->getPages();
        static const char* const kinds[] = {"single", "bundled", "indirect"}; // in Document::Kind order
        std::printf("%s document, %u pages\n", kinds[int(document->getKind())], pages.getSize());
        for (uint32_t i = 0; i < pages.getSize(); ++i) {
            Page& page = *pages[i];
            std::printf("page %u: %ux%u, %u dpi, rotation %u\n", i + 1, page.getWidth(), page.getHeight(),
                        page.getDpi(), page.getRotation());
        }
    } catch (const std::exception& error) {
        // The library's Exception carries the code and the message line.
        std::fprintf(stderr, "pages: %s\n", error.what());
        return 1;
    }
    return 0;
}
