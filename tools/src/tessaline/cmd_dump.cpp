// tessaline dump FILE: every chunk of the file as stored, in file order, one line each:
// indentation by level, identifier (FORM:TYPE for forms), [payload length], a description.
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "commands.h"
#include "failure.h"
#include "djv_iff.h"
#include "djv_page.h"

namespace Tessaline {
namespace {

using namespace Vantorix;
using namespace Vantorix::DjVu;

class Dumper {
public:
    explicit Dumper(const AutoPtr<Storage>& storage) : storage_(storage) {}

    // Prints the chunks from the storage's position up to end (one chunk when end is 0).
    void chunks(uint64_t end, uint32_t level)
    {
        const char* function = "Tessaline::Dumper::chunks";
        if (level > IFF::kMaxNesting) VTX_THROW(errDataBroken, "IFF chunks are nested too deeply!", function);
        do {
            IFF::ChunkHeader h = IFF::readChunkHeader(*storage_);
            std::string indent(2 * level, ' ');
            if (h.isForm()) {
                std::string type = IFF::readFormType(*storage_).toStdString();
                line(indent + "FORM:" + type, h.length, component(h.offset));
                chunks(h.payloadOffset + h.length, level + 1);
            } else {
                if (level == 1) VTX_THROW(errDataBroken, "The top level chunk is not a FORM chunk!", function);
                line(indent + h.getId().toStdString(), h.length, describe(h));
            }
            storage_->setPos(h.getEnd());
        } while (end != 0 && storage_->getPos() + 8 <= end);
    }

private:
    static void line(const std::string& head, uint32_t length, const std::string& text)
    {
        std::string left = head + " [" + std::to_string(length) + "]";
        if (!text.empty()) {
            if (left.size() < 24) left.resize(24, ' ');
            left += " " + text;
        }
        std::printf("%s\n", left.c_str());
    }

    // Bytes of the payload at its start, at most n.
    std::string peek(uint32_t length, uint32_t n)
    {
        std::string bytes(length < n ? length : n, '\0');
        storage_->readBytes(bytes.data(), uint32_t(bytes.size()), false);
        return bytes;
    }

    // The directory's name and role of the component whose FORM starts at offset.
    std::string component(uint64_t offset)
    {
        auto it = components_.find(offset);
        return it == components_.end() ? std::string() : it->second;
    }

    void directory(uint32_t length, std::string& text)
    {
        IFF::Directory dir = IFF::readDIRM(storage_, length);
        uint32_t pages = 0, n = dir.entries.getSize();
        for (uint32_t i = 0; i < n; ++i) {
            const IFF::DIRMEntry& e = dir.entries[i];
            std::string role;
            switch (e.kind) {
            case IFF::kindPage: role = "page " + std::to_string(++pages); break;
            case IFF::kindShared: role = "shared"; break;
            case IFF::kindThumbnails: role = "thumbnails"; break;
            default: role = "kind " + std::to_string(e.kind); break;
            }
            std::string name = "{" + e.id.toStdString() + "} " + role;
            if (!e.title.isEmpty() && e.title != e.id) name += " \"" + e.title.toStdString() + "\"";
            if (dir.bundled) components_[e.offset] = name;
        }
        text = std::string("document directory: ") + (dir.bundled ? "bundled" : "indirect") + ", " +
               std::to_string(n) + " component" + (n == 1 ? "" : "s") + ", " + std::to_string(pages) + " page" +
               (pages == 1 ? "" : "s");
        if (!dir.bundled)
            for (uint32_t i = 0; i < n; ++i) text += i ? ", " : ": ", text += dir.entries[i].id.toStdString();
    }

    std::string iw44(const std::string& b)
    {
        if (b.size() < 2) return "IW44 data (too short)";
        std::string text = "IW44 data #" + std::to_string(uint8_t(b[0]) + 1) + ", " + std::to_string(uint8_t(b[1])) +
                           " slices";
        if (b[0] == 0 && b.size() >= 9) {
            uint8_t major = uint8_t(b[2]), minor = uint8_t(b[3]);
            unsigned w = uint8_t(b[4]) << 8 | uint8_t(b[5]), h = uint8_t(b[6]) << 8 | uint8_t(b[7]);
            text += ", v" + std::to_string(major & 0x7F) + "." + std::to_string(minor) +
                    (major & 0x80 ? " (grey)" : " (colour)") + ", " + std::to_string(w) + "x" + std::to_string(h);
        }
        return text;
    }

    std::string describe(const IFF::ChunkHeader& h)
    {
        std::string id = h.getId().toStdString(), text;
        if (id == "DIRM") {
            directory(h.length, text);
        } else if (id == "INFO") {
            PageInfo info = PageInfo::read(*storage_);
            char buf[128];
            std::snprintf(buf, sizeof buf, "page %ux%u, v%u, %u dpi, gamma %u.%u, rotation %u", info.width, info.height,
                          info.minorVersion, info.dpi, info.gamma / 10, info.gamma % 10, info.getRotation());
            text = buf;
        } else if (id == "BG44" || id == "FG44" || id == "TH44" || id == "BM44" || id == "PM44") {
            text = (id == "FG44" ? "foreground " : id == "BG44" ? "background " : "") + iw44(peek(h.length, 9));
        } else if (id == "FGbz") {
            std::string b = peek(h.length, 3);
            text = "JB2 colours";
            if (b.size() == 3)
                text += ", v" + std::to_string(uint8_t(b[0]) & 0x7F) + ", " +
                        std::to_string(uint8_t(b[1]) << 8 | uint8_t(b[2])) + " colours" +
                        (b[0] & 0x80 ? ", indexed" : "");
        } else if (id == "INCL") {
            text = "includes {" + peek(h.length, 1024) + "}";
        } else {
            static const std::map<std::string, const char*> kinds = {
                {"Sjbz", "JB2 bilevel data"},     {"Djbz", "JB2 shared dictionary"},
                {"Smmr", "MMR bilevel data"},     {"ANTa", "annotations"},
                {"ANTz", "annotations (compressed)"}, {"TXTa", "hidden text"},
                {"TXTz", "hidden text (compressed)"}, {"NAVM", "outline"},
                {"BGjp", "JPEG background"},       {"FGjp", "JPEG foreground"},
                {"BG2k", "JPEG 2000 background"},  {"FG2k", "JPEG 2000 foreground"},
                {"CIDa", "metadata"},             {"METa", "metadata"},
                {"METz", "metadata (compressed)"}, {"WMRM", "watermark"},
            };
            auto it = kinds.find(id);
            if (it != kinds.end()) text = it->second;
        }
        return text;
    }

    AutoPtr<Storage> storage_;
    std::map<uint64_t, std::string> components_;
};

} // namespace

void addDumpCommand(CLI::App& app)
{
    auto file = std::make_shared<std::string>();
    CLI::App* cmd = app.add_subcommand(
        "dump", "Print every chunk of the file as stored, in file order: indentation by nesting level, the identifier "
                "(FORM:TYPE for forms), the payload length in brackets and a description (component names, page "
                "sizes, IW44 slice counts...).");
    cmd->add_option("FILE", *file, "DjVu file (a path or a file: location)")->required();
    cmd->callback([file] {
        try {
            Dumper dumper(openStorage(String(*file), false, nullptr));
            dumper.chunks(0, 1);
        } catch (...) {
            throw failureAbout(*file);
        }
    });
}

} // namespace Tessaline
