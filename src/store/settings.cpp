#include "store/settings.h"

#include "platform/text.h"
#include "store/connection.h"
#include "store/statements.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <sqlite3.h>

namespace mwdx {
namespace {

// Read by workers as well as by the window: every use holds the mutex.
std::mutex g_settingsMutex;
std::unique_ptr<SettingsRecord> g_settings;

constexpr ColumnSpec kSettingsColumns[] = {{0, 3, 1024}, {1, 1, 4}, {2, 1, 4}, {3, 1, 4}, {4, 1, 4}};

} // namespace

int LoadSettings() {
    SettingsRecord record{};
    int rows = 0;
    const int status = QueryRows(kSelectSettings, 5, kSettingsColumns, sizeof(SettingsRecord), &record, 1, &rows);
    if (status != kQueryDone) {
        return 0;
    }
    return ReplaceSettings(record);
}

int SaveSettingsRow(const SettingsRecord& values) {
    const std::string_view rootDir = RootDirOf(values);
    Transaction transaction;
    int status = transaction.Begin();
    if (status == kStatementOk) {
        status = ExecStatement(UpdateSettingsStatement(rootDir, values.urlShortcut, values.deleteAfterAdding,
                                                       values.deleteAfterNodeDelete));
    }
    if (status == kStatementOk && sqlite3_changes(StoreHandle()) == 0) {
        status = ExecStatement(InsertSettingsStatement(rootDir, values.urlShortcut, values.deleteAfterAdding,
                                                       values.deleteAfterNodeDelete));
    }
    if (status == kStatementOk) {
        status = transaction.Commit();
    }
    return status;
}

int ResetSettings() {
    const std::lock_guard lock(g_settingsMutex);
    g_settings.reset();
    g_settings.reset(new (std::nothrow) SettingsRecord{});
    return g_settings ? 1 : 0;
}

int ReplaceSettings(const SettingsRecord& values) {
    const SettingsRecord copy = values; // values may be the current record itself
    const std::lock_guard lock(g_settingsMutex);
    g_settings.reset(new (std::nothrow) SettingsRecord(copy));
    return g_settings ? 1 : 0;
}

int GetSettings(SettingsRecord* destination) {
    const std::lock_guard lock(g_settingsMutex);
    if (destination == nullptr || !g_settings) {
        return 0;
    }
    *destination = *g_settings;
    return 1;
}

SettingsRecord SettingsCopy() {
    SettingsRecord copy{};
    GetSettings(&copy);
    return copy;
}

bool HasSettings() {
    const std::lock_guard lock(g_settingsMutex);
    return static_cast<bool>(g_settings);
}

void FreeSettings() {
    const std::lock_guard lock(g_settingsMutex);
    g_settings.reset();
}

std::string_view RootDirOf(const SettingsRecord& settings) {
    const std::string_view all(settings.rootDir, sizeof settings.rootDir);
    return all.substr(0, all.find('\0'));
}

void SetRootDir(SettingsRecord& settings, std::string_view rootDir) {
    const std::string_view kept = TruncateUtf8(rootDir.substr(0, rootDir.find('\0')), sizeof settings.rootDir - 1);
    std::memset(settings.rootDir, 0, sizeof settings.rootDir);
    std::memcpy(settings.rootDir, kept.data(), kept.size());
}

} // namespace mwdx
