// Hidden text payloads, plain (TXTa) and compressed (TXTz), on pages of every orientation:
// each ends in a zone tree or an Exception.
// seeds: text/seeds/*.txt*
#include "djv_text.h"
#include "fuzz_payload.h"

namespace {

// Walks the tree as a caller would.
void visit(const Vantorix::DjVu::TextZone& zone)
{
    zone.getRect();
    zone.getText();
    for (const auto& child : zone.getChildren()) visit(*child);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > (1u << 20)) return 0;
    // The first byte chooses the page: its size and orientation.
    Vantorix::DjVu::PageInfo info;
    info.width = 1000 + data[0] * 7;
    info.height = 800 + data[0] * 3;
    info.minorVersion = 26;
    info.setRotation(data[0] & 3);
    readBothWays(data + 1, size - 1, "TXTa", "TXTz", [&](Vantorix::DjVu::Chunk& chunk) {
        auto root = Vantorix::DjVu::TextZone::decode(chunk, info);
        visit(*root);
        root->setRotation((data[0] >> 2) & 3);
        visit(*root);
    });
    return 0;
}
