#include "catalog/node.h"
#include "store/statements.h"
#include "store_fixture.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <sqlite3.h>
#include <vector>

namespace mwdx::test {
namespace {

TEST(StatementTextTest, StatementsReadExactlyAsTheStoreExpects) {
    EXPECT_STREQ(kSelectSettings,
                 "select ROOT_DIR,FIRST_RUNNING,URL_SHORTCUT,DELDOC_AFTERADDING,DELDOC_AFTERDELNODE from SYS_CONFIG;");
    EXPECT_STREQ(kCountNodes, "select count(*) from FILE_NODE ;");
    EXPECT_STREQ(kSelectNodes, "select FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL from "
                               "FILE_NODE order by PARENT_ID asc ;");
    EXPECT_STREQ(kSelectMaxFileId, "select MAX(FILE_ID) from FILE_NODE;");
    EXPECT_EQ(InsertNodeStatement("Papers", 3, "to read", 1, "a.pdf", 2),
              "insert into FILE_NODE(FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
              "Values('Papers',3,'to read',1,'a.pdf',2);");
    EXPECT_EQ(DeleteNodeStatement(17), "delete from FILE_NODE where FILE_ID = 17 ;");
    EXPECT_EQ(UpdateNodeStatement("Papers", "done", 9),
              "Update FILE_NODE set FILE_NAME='Papers',COMMENT='done' where FILE_ID=9;");
    EXPECT_EQ(UpdateSettingsStatement("/home/me/kb", 1, 0, 1),
              "update SYS_CONFIG set ROOT_DIR='/home/me/kb',FIRST_RUNNING=0,URL_SHORTCUT=1,DELDOC_AFTERADDING=0,"
              "DELDOC_AFTERDELNODE=1;");

    // Signed decimals at both ends of the range.
    EXPECT_EQ(DeleteNodeStatement(std::numeric_limits<std::int32_t>::min()),
              "delete from FILE_NODE where FILE_ID = -2147483648 ;");
    EXPECT_EQ(InsertNodeStatement("", -1, "", std::numeric_limits<std::int32_t>::max(), "", 0),
              "insert into FILE_NODE(FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
              "Values('',-1,'',2147483647,'',0);");
}

TEST(StatementTextTest, QuotesAreDoubledNothingIsCutAndANulEndsTheValue) {
    EXPECT_EQ(EscapeSqlText("it's ''quoted'"), "it''s ''''quoted''");
    EXPECT_EQ(UpdateNodeStatement("O'Brien", "'", 1),
              "Update FILE_NODE set FILE_NAME='O''Brien',COMMENT='''' where FILE_ID=1;");
    EXPECT_EQ(UpdateSettingsStatement(std::string_view("/kb\0/hidden", 11), 0, 0, 0),
              "update SYS_CONFIG set ROOT_DIR='/kb',FIRST_RUNNING=0,URL_SHORTCUT=0,DELDOC_AFTERADDING=0,"
              "DELDOC_AFTERDELNODE=0;");
    EXPECT_EQ(EscapeSqlText(std::string_view("a'\0b'", 5)), "a''");

    const std::string comment = std::string(50000, 'x') + "'" + std::string(50000, 'y');
    const std::string escaped = std::string(50000, 'x') + "''" + std::string(50000, 'y');
    EXPECT_EQ(InsertNodeStatement("n", 1, comment, 0, "r'", 2),
              "insert into FILE_NODE(FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) Values('n',1,'" +
                  escaped + "',0,'r''',2);");
}

constexpr ColumnSpec kNodeColumns[] = {{0, 1, 8}, {1, 3, 512},  {2, 1, 8}, {3, 3, 1024},
                                       {4, 1, 4}, {5, 3, 1024}, {6, 1, 4}};

using StatementStoreTest = StoreTest;

TEST_F(StatementStoreTest, AwkwardValuesComeBackUnchangedFromTheDatabase) {
    OpenFresh();
    struct Node {
        std::string name, comment, raw;
    };
    const std::vector<Node> nodes = {
        {"it's", "''", "O'Brien's notes.txt"},
        {"\u4E2D\u6587\u76EE\u5F55", "\u5907\u6CE8\uFF1A\u6D4B\u8BD5", "\u6587\u4EF6.pdf"},
        {"\U0001F600 emoji \U0001F4DA", "\U0001F44D", "\U0001F600.txt"},
        {"x'); drop table FILE_NODE; --", "-- not a comment", "a\\b.txt"},
    };
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const auto id = static_cast<std::int32_t>(i);
        ASSERT_EQ(ExecStatement(InsertNodeStatement(nodes[i].name, id, nodes[i].comment, id % 2, nodes[i].raw, id + 1)),
                  kStatementOk)
            << nodes[i].name;
    }
    std::string longComment;
    while (longComment.size() < 100000) {
        longComment += "\u4E2D'\U0001F600 it''s ";
    }
    ASSERT_EQ(ExecStatement(InsertNodeStatement("long", 99, longComment, 1, "", 2)), kStatementOk);
    EXPECT_EQ(QueryText(m_db, "select COMMENT from FILE_NODE where PARENT_ID = 99;"), longComment);

    std::int32_t count = 0;
    int rows = 0;
    const ColumnSpec one[] = {{0, 1, 4}};
    ASSERT_EQ(QueryRows(kCountNodes, 1, one, 4, &count, 1, &rows), kQueryDone);
    EXPECT_EQ(count, 5);

    std::vector<NodeRow> read(8);
    ASSERT_EQ(QueryRows(kSelectNodes, 7, kNodeColumns, sizeof(NodeRow), read.data(), 8, &rows), kQueryDone);
    ASSERT_EQ(rows, 5);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        EXPECT_EQ(read[i].fileName, nodes[i].name);
        EXPECT_EQ(read[i].parentId, static_cast<std::int32_t>(i));
        EXPECT_EQ(read[i].comment, nodes[i].comment);
        EXPECT_EQ(read[i].fileType, static_cast<std::int32_t>(i % 2));
        EXPECT_EQ(read[i].rawFileName, nodes[i].raw);
        EXPECT_EQ(read[i].pathLevel, static_cast<std::int32_t>(i + 1));
    }
    EXPECT_EQ(std::strlen(read[4].comment), 1023u); // the long comment fills its field, terminated
    EXPECT_EQ(std::string(read[4].comment), longComment.substr(0, 1023));

    std::int32_t maxId = 0;
    ASSERT_EQ(QueryRows(kSelectMaxFileId, 1, one, 4, &maxId, 1, &rows), kQueryDone);
    EXPECT_EQ(maxId, 5);

    ASSERT_EQ(ExecStatement(UpdateNodeStatement("\u65B0's \U0001F389", "\u8BF4\u660E 'q'", 2)), kStatementOk);
    EXPECT_EQ(QueryText(m_db, "select FILE_NAME || '|' || COMMENT from FILE_NODE where FILE_ID = 2;"),
              "\u65B0's \U0001F389|\u8BF4\u660E 'q'");
    ASSERT_EQ(ExecStatement(DeleteNodeStatement(1)), kStatementOk);
    EXPECT_EQ(QueryText(m_db, "select group_concat(FILE_ID) from (select FILE_ID from FILE_NODE order by FILE_ID);"),
              "2,3,4,5");
    EXPECT_EQ(QueryText(m_db, "select count(*) from sqlite_master where name = 'FILE_NODE';"), "1");
}

} // namespace
} // namespace mwdx::test
