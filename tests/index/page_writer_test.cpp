// The text of the index page: its fixed lines, the order and numbering of its entries, and the
// escaping that keeps every name and path intact in the browser.

#include "index/page_texts.h"
#include "index/page_writer.h"
#include "support/catalog_fixture.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace mwdx::test {
namespace {

// The page's lines; fails the test if any line lacks its CR LF.
std::vector<std::string> Lines(const std::string& page) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < page.size()) {
        const std::size_t end = page.find('\n', start);
        if (end == std::string::npos || end == start || page[end - 1] != '\r') {
            ADD_FAILURE() << "a line without CR LF after byte " << start;
            break;
        }
        lines.push_back(page.substr(start, end - 1 - start));
        start = end + 1;
    }
    return lines;
}

// The entry lines between the tree's creation and its drawing.
std::vector<std::string> Entries(const std::string& page) {
    const std::vector<std::string> lines = Lines(page);
    std::vector<std::string> entries;
    bool inside = false;
    for (const std::string& line : lines) {
        if (line == "document.write(d);") {
            break;
        }
        if (inside) {
            entries.push_back(line);
        }
        inside = inside || line == "d = new dTree('d');";
    }
    return entries;
}

std::string Page(std::string_view home, const CatalogNode* root, bool english = true) {
    PageOutput out;
    WritePageText(out, home, root, LanguageStrings(english));
    return out.Text();
}

std::string Entry(std::int32_t id, std::int32_t parentId, std::string_view name, std::string_view path,
                  std::int32_t fileType) {
    PageOutput out;
    WriteNodeLine(out, id, parentId, name, path, fileType);
    return out.Text();
}

using IndexPage = CatalogFixture;

TEST_F(IndexPage, EmptyTreeGivesTheWholePageWithOnlyTheRootEntry) {
    ASSERT_EQ(Reload(), 1);
    ASSERT_EQ(m_model.RootNode(), nullptr);
    const std::string expected =
        "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
        "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">\r\n"
        "<html>\r\n"
        "<head>\r\n"
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />\r\n"
        "<title>Marrowdex</title>\r\n"
        "<link rel=\"StyleSheet\" href=\"js/dtree.css\" type=\"text/css\" />\r\n"
        "<script type=\"text/javascript\" src=\"js/dtree.js\"></script>\r\n"
        "</head>\r\n"
        "<body>\r\n"
        "<h1><a href=\"file:///home/reader/Knowledge\">Marrowdex</a></h1>\r\n"
        "<div class=\"dtree\">\r\n"
        "<p><a href=\"javascript: d.openAll();\">Expand All</a> | <a href=\"javascript: d.closeAll();\">Close "
        "All</a></p>\r\n"
        "<script type=\"text/javascript\">\r\n"
        "<!--\r\n"
        "d = new dTree('d');\r\n"
        "d.add(0,-1,'Marrowdex','/home/reader/Knowledge','','_blank','js/img/folder.gif');\r\n"
        "document.write(d);\r\n"
        " //-->\r\n"
        "</script>\r\n"
        "</div>\r\n"
        "</body>\r\n"
        "</html>\r\n";
    EXPECT_EQ(Page(m_home, m_model.RootNode()), expected);

    // The Chinese texts change the title, the heading and the links, and nothing else.
    std::string chinese = expected;
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"Marrowdex", "zuzuv"},
                                   {"Expand All", "展开所有节点"},
                                   {"Close All", "收起所有节点"}}) {
        for (std::size_t at; (at = chinese.find(from)) != std::string::npos;) {
            chinese.replace(at, from.size(), to);
        }
    }
    EXPECT_EQ(Page(m_home, m_model.RootNode(), false), chinese);
}

TEST_F(IndexPage, EntriesFollowTheChildListDepthFirstWithStoredIds) {
    AddRow(10, "Projects", 0, kCatalogType, 1);
    AddRow(11, "Plans", 10, kCatalogType, 2);
    AddRow(12, "Budget 2026.xls", 11, kDocumentType, 3, "budget.xls", std::string(1023, 'c'));
    AddRow(13, "Overview", 10, kDocumentType, 2, "overview.pdf");
    AddRow(14, "Archive", 0, kCatalogType, 1); // a catalog without children keeps its folder icon
    AddRow(15, "Deep", 11, kCatalogType, 3);
    ASSERT_EQ(Reload(), 1);

    EXPECT_EQ(Entries(Page(m_home, m_model.RootNode())),
              (std::vector<std::string>{
                  "d.add(0,-1,'Marrowdex','/home/reader/Knowledge','','_blank','js/img/folder.gif');",
                  "d.add(10,0,'Projects','/home/reader/Knowledge/Projects','','_blank','js/img/folder.gif');",
                  "d.add(11,10,'Plans','/home/reader/Knowledge/Projects/Plans','','_blank','js/img/folder.gif');",
                  "d.add(12,11,'Budget 2026.xls','/home/reader/Knowledge/Projects/Plans/budget.xls','','_blank');",
                  "d.add(15,11,'Deep','/home/reader/Knowledge/Projects/Plans/Deep','','_blank','js/img/folder.gif');",
                  "d.add(13,10,'Overview','/home/reader/Knowledge/Projects/overview.pdf','','_blank');",
                  "d.add(14,0,'Archive','/home/reader/Knowledge/Archive','','_blank','js/img/folder.gif');",
              }));

    // Deleted nodes leave no trace: the page is always written whole from the tree.
    m_model.UnlinkAndFree(*m_model.RootNode(), *m_model.RootNode()->FirstChild());
    EXPECT_EQ(Entries(Page(m_home, m_model.RootNode())),
              (std::vector<std::string>{
                  "d.add(0,-1,'Marrowdex','/home/reader/Knowledge','','_blank','js/img/folder.gif');",
                  "d.add(14,0,'Archive','/home/reader/Knowledge/Archive','','_blank','js/img/folder.gif');",
              }));
}

// Whether a path needs escaping is worked out as the walk goes down and back up: a character in
// a catalog's name reaches every path below it and none beside it.
TEST_F(IndexPage, EscapingFollowsEachPathDownAndBackUpTheTree) {
    AddRow(1, "R&D", 0, kCatalogType, 1);
    AddRow(2, "Lab", 1, kCatalogType, 2);
    AddRow(3, "Bench", 2, kCatalogType, 3);
    AddRow(4, "notes.txt", 3, kDocumentType, 4, "notes.txt");
    AddRow(5, "Plain", 0, kCatalogType, 1);
    AddRow(6, "a.txt", 5, kDocumentType, 2, "a.txt");
    AddRow(7, "50%", 2, kDocumentType, 3, "50%.txt");
    ASSERT_EQ(Reload(), 1);

    EXPECT_EQ(Entries(Page(m_home, m_model.RootNode())),
              (std::vector<std::string>{
                  "d.add(0,-1,'Marrowdex','/home/reader/Knowledge','','_blank','js/img/folder.gif');",
                  "d.add(1,0,'R&amp;D','/home/reader/Knowledge/R&amp;D','','_blank','js/img/folder.gif');",
                  "d.add(2,1,'Lab','/home/reader/Knowledge/R&amp;D/Lab','','_blank','js/img/folder.gif');",
                  "d.add(3,2,'Bench','/home/reader/Knowledge/R&amp;D/Lab/Bench','','_blank','js/img/folder.gif');",
                  "d.add(4,3,'notes.txt','/home/reader/Knowledge/R&amp;D/Lab/Bench/notes.txt','','_blank');",
                  "d.add(7,2,'50%','/home/reader/Knowledge/R&amp;D/Lab/50%25.txt','','_blank');",
                  "d.add(5,0,'Plain','/home/reader/Knowledge/Plain','','_blank','js/img/folder.gif');",
                  "d.add(6,5,'a.txt','/home/reader/Knowledge/Plain/a.txt','','_blank');",
              }));

    // A Home Directory that needs escaping reaches every entry.
    SetHome("/srv/#kb");
    ASSERT_EQ(Reload(), 1);
    const std::vector<std::string> entries = Entries(Page(m_home, m_model.RootNode()));
    ASSERT_EQ(entries.size(), 8u);
    EXPECT_EQ(entries[7], "d.add(6,5,'a.txt','/srv/%23kb/Plain/a.txt','','_blank');");
}

TEST(IndexPageEscaping, NamesAndPathsCannotBreakTheScriptTheMarkupOrTheLink) {
    EXPECT_EQ(EscapeBackslashes(R"(C:\Kb\\Notes\)"), R"(C:\\Kb\\\\Notes\\)");
    EXPECT_EQ(EscapeBackslashes("no backslash"), "no backslash");

    // Ordinary characters, Chinese and blanks included, come out unchanged.
    EXPECT_EQ(Entry(7, 3, "知识 库 (v2) \"draft\" > 50%", "/kb/知识 库", kCatalogType),
              "d.add(7,3,'知识 库 (v2) \"draft\" > 50%','/kb/知识 库','','_blank','js/img/folder.gif');\r\n");

    // In the name: script escapes for the string, character references for the markup.
    EXPECT_EQ(Entry(8, 0,
                    "it's a\\b\r\nc\xE2\x80\xA8"
                    "d\xE2\x80\xA9<b>&amp;</script>",
                    "/kb/x", kDocumentType),
              "d.add(8,0,'it\\'s a\\\\b\\r\\nc\\u2028d\\u2029&lt;b>&amp;amp;&lt;/script>','/kb/x','','_blank');\r\n");

    // In the path, the bytes a URL would misread are percent-encoded first.
    EXPECT_EQ(Entry(9, 0, "n", "/kb/100% #1? \"q\" a\\b\tc\nd's <&>", kDocumentType),
              "d.add(9,0,'n','/kb/100%25 %231%3F %22q%22 a%5Cb%09c%0Ad\\'s &lt;&amp;>','','_blank');\r\n");

    // Negative and large ids are written as they are stored.
    EXPECT_EQ(Entry(2147483647, -1, "r", "", kCatalogType),
              "d.add(2147483647,-1,'r','','','_blank','js/img/folder.gif');\r\n");
}

TEST(IndexPageEscaping, TheHomeDirectoryIsEscapedInTheHeadingAndInTheRootEntry) {
    const std::string page = Page(R"(/srv/a\b & <c> "d" #1?)", nullptr);
    const std::vector<std::string> lines = Lines(page);
    ASSERT_EQ(lines.size(), 22u); // no entry lines below the root
    EXPECT_EQ(lines[9], "<h1><a href=\"file:///srv/a%5Cb &amp; &lt;c&gt; %22d%22 %231%3F\">Marrowdex</a></h1>");
    EXPECT_EQ(lines[15],
              "d.add(0,-1,'Marrowdex','/srv/a%5Cb &amp; &lt;c> %22d%22 %231%3F','','_blank','js/img/folder.gif');");
    EXPECT_EQ(page.find("\xEF\xBB\xBF"), std::string::npos);
}

} // namespace
} // namespace mwdx::test
