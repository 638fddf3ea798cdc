#pragma once

// The in-memory copy of the SYS_CONFIG row: one program-wide record, absent until LoadSettings
// succeeds. Readers take private copies, so an absent record reads as all zeros.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace mwdx {

struct SettingsRecord {
    char rootDir[1024];                 // Home Directory, UTF-8, NUL-terminated
    std::int32_t firstRunning;          // 1: the configuration dialog has not been confirmed yet
    std::int32_t urlShortcut;           // 1: a refresh of the index page also links it on the desktop
    std::int32_t deleteAfterAdding;     // 1: an added document is moved in, 0: copied
    std::int32_t deleteAfterNodeDelete; // 1: deleting a node deletes its files too
};
// The record is the row as QueryRows lays it out for kSelectSettings.
static_assert(sizeof(SettingsRecord) == 1040);
static_assert(offsetof(SettingsRecord, firstRunning) == 1024);
static_assert(offsetof(SettingsRecord, deleteAfterNodeDelete) == 1036);

// Reads SYS_CONFIG (kSelectSettings). On success (also when the table has no row: then all zeros) the record
// becomes the current Settings and 1 is returned; on failure 0, and the current Settings stay.
int LoadSettings();

// Replaces the current Settings by a zero-filled record. 1 if a record now exists.
int ResetSettings();

// Makes a copy of `values` the current Settings (after ResetSettings). 1 on success.
int ReplaceSettings(const SettingsRecord& values);

// Copies the current Settings into *destination. 0 when destination is null or none exist.
int GetSettings(SettingsRecord* destination);

// A private copy: the current Settings, or all zeros when there are none.
SettingsRecord SettingsCopy();

bool HasSettings();

// Writes the confirmed configuration to SYS_CONFIG: UpdateSettingsStatement with the record's values (FIRST_RUNNING
// becomes 0), and the row inserted when the table has none, in one transaction. kStatementOk on
// success; otherwise the failing status, and the stored row is as it was. The in-memory Settings
// are not touched.
int SaveSettingsRow(const SettingsRecord& values);

// Frees the current Settings (the main window does this when it closes).
void FreeSettings();

// The Home Directory text of a record, up to its terminator.
std::string_view RootDirOf(const SettingsRecord& settings);

// Sets the Home Directory of a record, cut to 1023 bytes without splitting a character.
void SetRootDir(SettingsRecord& settings, std::string_view rootDir);

} // namespace mwdx
