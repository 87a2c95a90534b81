// tessaline text, annotations and outline on the documents of gen_text.sh.
#include <gtest/gtest.h>

#include <string>

#include <nlohmann/json.hpp>

#include "tessaline_testutil.h"

namespace {

using tessalinetest::shq;
using tessalinetest::tessaline;
using Json = nlohmann::json;

const std::string kText = std::string(VTX_FIXTURE_DIR) + "/text/";
const std::string kPlain = std::string(VTX_FIXTURE_DIR) + "/container/text300.djvu";

Json jsonOf(const std::string& args)
{
    tessalinetest::Output r = tessaline(args);
    EXPECT_EQ(r.status, 0) << args;
    return Json::parse(r.out, nullptr, false);
}

TEST(TessalineText, PlainTextIsThePageTextAsStored)
{
    for (int n = 1; n <= 4; ++n) {
        tessalinetest::Output r = tessaline("text " + shq(kText + "hand.djvu") + " --page " + std::to_string(n));
        EXPECT_EQ(r.status, 0);
        // djvused adds the page's closing form feed, which the stored text leaves out.
        EXPECT_EQ(r.out + "\f", tessalinetest::readFile(kText + "ref/hand/p" + std::to_string(n) + ".pure")) << n;
    }
    // Every page, each ended by a form feed.
    tessalinetest::Output all = tessaline("text --all " + shq(kText + "words.djvu"));
    EXPECT_EQ(all.status, 0);
    EXPECT_EQ(std::count(all.out.begin(), all.out.end(), '\f'), 3);
    EXPECT_EQ(all.out.substr(0, 15), "Go to page two ");
}

TEST(TessalineText, JsonZones)
{
    Json page = jsonOf("text --json --page 3 " + shq(kText + "hand.djvu"));
    EXPECT_EQ(page["type"], "page");
    EXPECT_EQ(page["text"], "abc\xE2\x82\xAC!");
    const Json& line = page["children"][0];
    EXPECT_EQ(line["type"], "line");
    EXPECT_EQ(line["children"][0]["children"][1]["type"], "char");
    EXPECT_EQ(line["children"][0]["children"][1]["text"], "b");
    // djvused: (char 160 610 210 690) on a page 777 high.
    EXPECT_EQ(line["children"][0]["children"][1]["rect"], Json::parse("[160, 87, 50, 80]"));

    Json all = jsonOf("text --all --json " + shq(kText + "hand_rotated.djvu"));
    ASSERT_EQ(all["pages"].size(), 4u);
    EXPECT_EQ(all["pages"][2]["text"], "abc\xE2\x82\xAC!");
    EXPECT_EQ(jsonOf("text --all --json " + shq(kPlain)), Json::parse(R"({"pages": [null]})"));
    EXPECT_EQ(jsonOf("text --json " + shq(kPlain)), Json(nullptr));
}

TEST(TessalineAnnotations, ListsAndSettings)
{
    Json a = jsonOf("annotations --json " + shq(kText + "hand.djvu"));
    EXPECT_EQ(a["settings"], Json::parse(R"({"align": ["center", "bottom"], "background": "#FF8000",
                                             "mode": "bw", "zoom": 150})"));
    ASSERT_EQ(a["lists"].size(), 9u);
    EXPECT_EQ(a["lists"][4][2], "Quoted \"comment\" (with parens)");
    EXPECT_EQ(a["lists"][4][3], Json::parse(R"(["rect", "10", "20", "300", "40"])"));
    EXPECT_EQ(jsonOf("annotations --json --page 4 " + shq(kText + "hand.djvu"))["settings"],
              Json::parse(R"({"align": ["none", "none"], "background": null, "mode": "none", "zoom": 300})"));
    EXPECT_EQ(jsonOf("annotations --json " + shq(kPlain)),
              Json::parse(R"({"lists": [], "settings": {"align": null, "background": null, "mode": null,
                                                         "zoom": null}})"));
    // A page of pdf2djvu: the shared component's lists, then the page's own links.
    Json words = jsonOf("annotations --json --page 1 " + shq(kText + "words.djvu"));
    EXPECT_EQ(words["lists"][0][0], "metadata");
    EXPECT_EQ(words["lists"].back()[0], "maparea");

    tessalinetest::Output plain = tessaline("annotations --page 3 " + shq(kText + "hand.djvu"));
    EXPECT_NE(plain.out.find("(deep (l1 (l2 (l3 (l4 (l5 (l6 \"bottom\")))))))\n"), std::string::npos);
    EXPECT_NE(plain.out.find("zoom: stretch\n"), std::string::npos);
}

TEST(TessalineOutline, IndentedAndJson)
{
    tessalinetest::Output r = tessaline("outline " + shq(kText + "words.djvu"));
    EXPECT_EQ(r.out, "Start -> #p0001.djvu\nMiddle -> #p0002.djvu\n  Middle, first half -> #p0002.djvu\n"
                     "  Middle, second half -> #p0003.djvu\n");
    Json o = jsonOf("outline --json " + shq(kText + "hand.djvu"));
    EXPECT_EQ(o["bookmarks"][0]["title"], "Caf\xC3\xA9 \xE2\x80\x94 \xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_EQ(o["bookmarks"][0]["link"], "#p0002.djvu");
    EXPECT_EQ(o["bookmarks"][2]["children"].size(), 60u);
    EXPECT_EQ(jsonOf("outline --json " + shq(kPlain)), Json::parse(R"({"bookmarks": []})"));
}

TEST(TessalineContent, Failures)
{
    EXPECT_EQ(tessaline("text " + shq(kText + "hand.djvu") + " --page 5").status, 1);
    EXPECT_EQ(tessaline("annotations " + shq(kText + "hand.djvu") + " --page 0").status, 2);
    EXPECT_EQ(tessaline("text --all --page 2 " + shq(kText + "hand.djvu")).status, 2);
    EXPECT_EQ(tessaline("outline " + shq(kText + "missing.djvu")).status, 1);
    EXPECT_EQ(tessaline("outline").status, 2);
    for (const char* cmd : {"text", "annotations", "outline"}) EXPECT_EQ(tessaline(std::string(cmd) + " --help").status, 0);
}

} // namespace
