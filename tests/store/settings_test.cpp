#include "store/statements.h"
#include "store_fixture.h"

#include <atomic>
#include <cstring>
#include <sqlite3.h>
#include <string>
#include <thread>

namespace mwdx::test {
namespace {

bool IsAllZero(const SettingsRecord& record) {
    const SettingsRecord zero{};
    return std::memcmp(&record, &zero, sizeof record) == 0;
}

using SettingsTest = StoreTest;

TEST_F(SettingsTest, LoadReadsTheConfigurationRowIntoTheCurrentSettings) {
    OpenFresh();
    ASSERT_EQ(LoadSettings(), 1);
    SettingsRecord first{};
    ASSERT_EQ(GetSettings(&first), 1);
    EXPECT_EQ(RootDirOf(first), "");
    EXPECT_EQ(first.firstRunning, 1);
    EXPECT_EQ(first.urlShortcut, 0);
    EXPECT_EQ(first.deleteAfterAdding, 0);
    EXPECT_EQ(first.deleteAfterNodeDelete, 0);
    EXPECT_EQ(GetSettings(nullptr), 0);

    const std::string home = "/home/\u7528\u6237/it's \U0001F4DA";
    ASSERT_EQ(ExecStatement(UpdateSettingsStatement(home, 1, 0, 1)), kStatementOk);
    ASSERT_EQ(LoadSettings(), 1);
    const SettingsRecord saved = SettingsCopy();
    EXPECT_EQ(RootDirOf(saved), home);
    EXPECT_EQ(saved.firstRunning, 0);
    EXPECT_EQ(saved.urlShortcut, 1);
    EXPECT_EQ(saved.deleteAfterAdding, 0);
    EXPECT_EQ(saved.deleteAfterNodeDelete, 1);
}

TEST_F(SettingsTest, AFailedLoadKeepsWhatWasThere) {
    // Nothing open, nothing loaded: the Settings stay absent and read as zeros.
    EXPECT_EQ(LoadSettings(), 0);
    EXPECT_FALSE(HasSettings());
    SettingsRecord destination{};
    destination.urlShortcut = 7;
    EXPECT_EQ(GetSettings(&destination), 0);
    EXPECT_EQ(destination.urlShortcut, 7);
    EXPECT_TRUE(IsAllZero(SettingsCopy()));

    OpenFresh();
    ASSERT_EQ(ExecStatement(UpdateSettingsStatement("/kept", 1, 1, 1)), kStatementOk);
    ASSERT_EQ(LoadSettings(), 1);
    ASSERT_EQ(ExecStatement("drop table SYS_CONFIG;"), kStatementOk);
    EXPECT_EQ(LoadSettings(), 0);
    EXPECT_EQ(RootDirOf(SettingsCopy()), "/kept");

    CloseStore();
    EXPECT_EQ(LoadSettings(), 0);
    ASSERT_TRUE(HasSettings());
    EXPECT_EQ(RootDirOf(SettingsCopy()), "/kept");
    EXPECT_EQ(SettingsCopy().deleteAfterNodeDelete, 1);
}

TEST_F(SettingsTest, AnEmptyTableGivesZerosAndASecondRowIsIgnored) {
    OpenFresh();
    SettingsRecord old{};
    SetRootDir(old, "/old");
    old.urlShortcut = 1;
    ASSERT_EQ(ReplaceSettings(old), 1);

    ASSERT_EQ(ExecStatement("delete from SYS_CONFIG;"), kStatementOk);
    EXPECT_EQ(LoadSettings(), 1);
    EXPECT_TRUE(HasSettings());
    EXPECT_TRUE(IsAllZero(SettingsCopy()));

    ASSERT_EQ(ExecStatement("insert into SYS_CONFIG values('/first',0,1,1,1),('/second',1,0,0,0);"), kStatementOk);
    EXPECT_EQ(LoadSettings(), 1);
    const SettingsRecord loaded = SettingsCopy();
    EXPECT_EQ(RootDirOf(loaded), "/first");
    EXPECT_EQ(loaded.firstRunning, 0);
    EXPECT_EQ(loaded.urlShortcut, 1);
}

TEST_F(SettingsTest, RecordsAreCopiedInAndOutResetAndFreed) {
    EXPECT_EQ(ResetSettings(), 1);
    EXPECT_TRUE(HasSettings());
    EXPECT_TRUE(IsAllZero(SettingsCopy()));

    SettingsRecord values{};
    SetRootDir(values, "/home/me/kb");
    values.deleteAfterAdding = 1;
    ASSERT_EQ(ReplaceSettings(values), 1);
    SetRootDir(values, "/changed"); // the current Settings are a copy, not the caller's record
    values.deleteAfterAdding = 0;
    SettingsRecord out{};
    ASSERT_EQ(GetSettings(&out), 1);
    EXPECT_EQ(RootDirOf(out), "/home/me/kb");
    EXPECT_EQ(out.deleteAfterAdding, 1);

    ASSERT_EQ(ResetSettings(), 1);
    EXPECT_TRUE(IsAllZero(SettingsCopy()));
    FreeSettings();
    EXPECT_FALSE(HasSettings());
    EXPECT_EQ(GetSettings(&out), 0);
}

// A worker (the check, a Home Directory change) reads the Settings while the window replaces them:
// every copy it takes is one whole record, the old or the new.
TEST_F(SettingsTest, ACopyTakenOnAnotherThreadIsAlwaysOneWholeRecord) {
    SettingsRecord first{};
    SetRootDir(first, "/home/me/first");
    first.urlShortcut = 1;
    SettingsRecord second{};
    SetRootDir(second, "/home/me/the second one");
    second.deleteAfterAdding = 1;
    ASSERT_EQ(ReplaceSettings(first), 1);
    std::atomic<bool> stop{false};
    int torn = 0;
    std::jthread reader([&] {
        while (!stop) {
            const SettingsRecord copy = SettingsCopy();
            const bool isFirst =
                RootDirOf(copy) == "/home/me/first" && copy.urlShortcut == 1 && copy.deleteAfterAdding == 0;
            const bool isSecond =
                RootDirOf(copy) == "/home/me/the second one" && copy.urlShortcut == 0 && copy.deleteAfterAdding == 1;
            torn += isFirst || isSecond ? 0 : 1;
        }
    });
    for (int i = 0; i < 20000; ++i) {
        ReplaceSettings(i % 2 == 0 ? second : first);
    }
    stop = true;
    reader.join();
    EXPECT_EQ(torn, 0);
}

TEST(SettingsRootDirTest, LongHomeDirectoriesAreCutOnACharacterBoundary) {
    SettingsRecord record{};
    const std::string a1023(1023, 'a');
    SetRootDir(record, a1023 + "bcd");
    EXPECT_EQ(RootDirOf(record), a1023);
    EXPECT_EQ(record.rootDir[1023], '\0');

    const std::string a1021(1021, 'a');
    SetRootDir(record, a1021 + "\u00E9"); // ends exactly at 1023 bytes: kept
    EXPECT_EQ(RootDirOf(record), a1021 + "\u00E9");
    SetRootDir(record, a1021 + "\u20AC"); // would need 1024 bytes: backs off
    EXPECT_EQ(RootDirOf(record), a1021);
    EXPECT_EQ(std::string(record.rootDir + 1021, 3), std::string(3, '\0'));
    SetRootDir(record, std::string(1020, 'a') + "\U0001F600");
    EXPECT_EQ(RootDirOf(record), std::string(1020, 'a'));

    SetRootDir(record, std::string_view("/kb\0/rest", 9));
    EXPECT_EQ(RootDirOf(record), "/kb");
    EXPECT_EQ(record.rootDir[5], '\0');
}

// The confirmed configuration survives a restart even when the row had been lost, and a write
// that fails leaves the stored row as it was.
TEST_F(SettingsTest, SavingTheRowWritesOrRestoresItAndFailsAsAWhole) {
    OpenFresh();
    SettingsRecord chosen{};
    SetRootDir(chosen, "/home/me/it's mine");
    chosen.firstRunning = 1; // never stored: a confirmed configuration is no longer a first run
    chosen.urlShortcut = 1;
    chosen.deleteAfterNodeDelete = 1;
    ASSERT_EQ(SaveSettingsRow(chosen), kStatementOk);
    EXPECT_EQ(QueryText(m_db, "select count(*)||'|'||ROOT_DIR||'|'||FIRST_RUNNING||URL_SHORTCUT||DELDOC_AFTERADDING||"
                              "DELDOC_AFTERDELNODE from SYS_CONFIG;"),
              "1|/home/me/it's mine|0101");

    ASSERT_EQ(ExecStatement("delete from SYS_CONFIG;"), kStatementOk);
    chosen.deleteAfterAdding = 1;
    ASSERT_EQ(SaveSettingsRow(chosen), kStatementOk);
    EXPECT_EQ(QueryText(m_db, "select count(*)||'|'||FIRST_RUNNING||URL_SHORTCUT||DELDOC_AFTERADDING||"
                              "DELDOC_AFTERDELNODE from SYS_CONFIG;"),
              "1|0111");

    // A second connection holding the write lock makes the save fail once the busy timeout ends.
    ASSERT_EQ(ExecStatement("PRAGMA busy_timeout=50;"), kStatementOk);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(m_db.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE;", nullptr, nullptr, nullptr), SQLITE_OK);
    SetRootDir(chosen, "/elsewhere");
    EXPECT_NE(SaveSettingsRow(chosen), kStatementOk);
    sqlite3_exec(other, "ROLLBACK;", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(QueryText(m_db, "select ROOT_DIR from SYS_CONFIG;"), "/home/me/it's mine");

    CloseStore();
    EXPECT_EQ(SaveSettingsRow(chosen), kNoConnection);
}

} // namespace
} // namespace mwdx::test
