// What tessaline says on standard error when it cannot do its work: one line naming the file
// (and page) in plain words, exit status 1; the library's own line only when asked for.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tessaline_testutil.h"

namespace fs = std::filesystem;
using namespace tessalinetest;

namespace {

const std::string kSample = VTX_SOURCE_DIR "/examples/sample.djvu";

// Standard error alone, and the exit status.
Output errors(const std::string& args, const std::string& env = "")
{
    return run(env + tessalineCommand(args) + " 2>&1 >/dev/null", true);
}

// Whether s looks like a library message line: "SOURCE(LINE) : FUNCTION: Error CODE: TEXT".
bool isDiagnostic(const std::string& s)
{
    const size_t open = s.find('('), at = s.find(") : "), error = s.find(": Error ");
    return open < at && at != std::string::npos && error != std::string::npos && at < error &&
           s.find('\n') == std::string::npos;
}

} // namespace

TEST(TessalineMessages, OneLineInTheUsersWords)
{
    TempDir tmp("messages");
    fs::create_directories(tmp / "folder.djvu");
    std::ofstream(tmp / "empty.djvu").close();
    std::ofstream(tmp / "notes.djvu") << "Shopping: bread, milk.\n";
    const std::string sample = readFile(kSample);
    std::ofstream(tmp / "cut.djvu", std::ios::binary) << sample.substr(0, sample.size() / 3);
    const std::string out = shq(tmp / "out.png");

    struct Case {
        std::string args, expected;
    };
    const Case cases[] = {
        {"info " + shq(tmp / "missing.djvu"), tmp / "missing.djvu" + ": No such file or directory"},
        {"info " + shq(tmp / "folder.djvu"), tmp / "folder.djvu" + ": Is a directory"},
        {"dump " + shq(tmp / "empty.djvu"), tmp / "empty.djvu" + ": empty file"},
        {"info " + shq(tmp / "notes.djvu"), tmp / "notes.djvu" + ": not a DjVu file"},
        {"render " + shq(tmp / "cut.djvu") + " " + out,
         tmp / "cut.djvu" + ": page 1: truncated DjVu file (it ends inside a chunk)"},
        {"render --page 3 " + shq(kSample) + " " + out, kSample + ": there is no page 3: the document has 1"},
        {"thumbnail " + shq(kSample) + " " + shq(tmp / "no/such/folder/t.png"),
         tmp / "no/such/folder/t.png" + ": cannot write the file: No such file or directory"},
        // Batch mode reports each input the same way and goes on with the others.
        {"thumbnail -j 1 --out-dir " + shq(tmp / "thumbs") + " " + shq(tmp / "notes.djvu") + " " + shq(kSample) + " " +
             shq(tmp / "empty.djvu"),
         tmp / "notes.djvu" + ": not a DjVu file\ntessaline: " + tmp / "empty.djvu" + ": empty file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        Output r = errors(c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "tessaline: " + c.expected + "\n");
    }
    EXPECT_TRUE(fs::exists(tmp / "thumbs/sample.djvu.png"));
}

TEST(TessalineMessages, VerboseAddsTheLibrarysLine)
{
    TempDir tmp("verbose");
    std::ofstream(tmp / "notes.djvu") << "not DjVu\n";
    const std::string file = shq(tmp / "notes.djvu"), first = "tessaline: " + tmp / "notes.djvu" + ": not a DjVu file";
    for (const std::string& how : {"--verbose info " + file, "info -v " + file}) {
        SCOPED_TRACE(how);
        Output r = errors(how);
        EXPECT_EQ(r.status, 1);
        ASSERT_EQ(r.out.rfind(first + "\n", 0), 0u) << r.out;
        std::string second = r.out.substr(first.size() + 1);
        ASSERT_FALSE(second.empty());
        EXPECT_EQ(second.back(), '\n');
        second.pop_back();
        EXPECT_TRUE(isDiagnostic(second)) << second;
    }
    // The diagnostic file asks for the same, and receives the line too.
    const std::string log = tmp / "diagnostics.txt";
    Output r = errors("info " + file, "_QRMB_DEBUG_FILE=" + shq(log) + " ");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, errors("--verbose info " + file).out);
    EXPECT_NE(readFile(log).find(r.out.substr(first.size() + 1)), std::string::npos) << readFile(log);
}

TEST(TessalineMessages, IndirectIndexWithoutItsComponents)
{
    // What a sandboxed thumbnailer sees: the index alone in its folder, under another name.
    TempDir tmp("alone");
    const std::string alone = tmp / "gnome-desktop-file-to-thumbnail.djvu";
    fs::copy_file(VTX_FIXTURE_DIR "/container/doc_indirect/index.djvu", alone);
    Output r = errors("thumbnail -s 128 " + shq(alone) + " " + shq(tmp / "t.png"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "tessaline: " + alone + ": page 1: component " + tmp / "p0001.djvu" + ": No such file or directory\n");
    EXPECT_FALSE(fs::exists(tmp / "t.png"));
}
