// Every stored setting in one table: its value name in the settings store,
// its field (and with it the stored type and the owner: the frame or the
// viewer), its default, and where the Preferences dialog shows it. Loading,
// saving, the defaults and the Preferences dialog all go through the table,
// so a name is written in one place only.
//
// Adding a setting: a field in FrameSettings or ViewerSettings and a row.
// A true-or-false row with a label appears on the Preferences' Viewing page
// by itself.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>

#include "viewer/viewer_settings.h"

namespace brelvix::app {

class RegistryKey;

// How the window shows, with the numbers the settings store keeps.
enum class WindowShow : std::int32_t { Normal = 1, Minimized = 2, Maximized = 3 };
// Placement flag the settings store keeps: a minimised window returns
// maximised.
inline constexpr std::int32_t kRestoreToMaximized = 2;

// The settings the main frame keeps: its bars, two choices of behaviour and
// the window's placement (flags, show state, and the frame's rectangle in
// screen coordinates, right and bottom exclusive).
struct FrameSettings {
    bool ZoomToBestFit = false;
    bool EscFullscreen = false;
    bool ShowToolbar = false;
    bool ShowStatusbar = false;
    std::int32_t windowFlags = 0;
    std::int32_t windowShow = 0;
    std::int32_t windowLeft = 0;
    std::int32_t windowTop = 0;
    std::int32_t windowRight = 0;
    std::int32_t windowBottom = 0;
    // Where the Open dialog starts when no picture is shown: the folder of
    // the picture chosen last.
    std::string openFolder;
    // The side panel with the picture's file, picture and camera details.
    bool showInfoPanel = false;

    bool operator==(const FrameSettings&) const = default;
};

// All that is stored, the frame's and the viewer's.
struct SettingsRecord : FrameSettings, ViewerSettings {
    bool operator==(const SettingsRecord&) const = default;
};

enum class SettingOwner { Frame, Viewer };

// Where the Preferences dialog edits a setting: nowhere, on the first page
// (laid out by hand), or as a check box of its own on the Viewing page.
enum class PreferencesPage { None, General, Viewing };

// The field of a row; its type decides how the value is stored: true or
// false as a 4-byte 1 or 0 (any non-zero value reads as true), whole
// numbers and colours as 4 bytes under the dword tag, a double as its 8
// bytes under the dword tag, text as its bytes under the string tag without
// a terminator.
using SettingField =
    std::variant<bool SettingsRecord::*, std::int32_t SettingsRecord::*, std::uint32_t SettingsRecord::*,
                 double SettingsRecord::*, std::string SettingsRecord::*>;
// A row's default, of its field's type; for the window's rectangle none:
// the new window's own.
using SettingDefault = std::variant<std::monostate, bool, std::int32_t, std::uint32_t, double, const char*>;

struct SettingRow {
    // The value's name in the store.
    const char* name = nullptr;
    SettingOwner owner = SettingOwner::Frame;
    SettingField field;
    SettingDefault fallback;
    PreferencesPage page = PreferencesPage::None;
    // The Viewing page's text for the row's check box.
    const char* label = nullptr;
};

// The rows in the order the store reads and writes them.
std::span<const SettingRow> SettingRows();

// The defaults of every row; the fields of rows without one are zero.
SettingsRecord DefaultSettings();

// Reads every row the store holds into `record`; a value missing, or of
// another size than its field's, leaves the field alone. Returns whether a
// row without a default of its own (an edge of the window's rectangle) was
// read.
bool ReadSettings(RegistryKey& key, SettingsRecord& record);
// Writes every row.
void WriteSettings(RegistryKey& key, const SettingsRecord& record);

// Copies the values the Preferences dialog edits (rows on one of its pages)
// from `edited` into `record`; a delay below kMinimumSlideShowDelay becomes
// that minimum, the step is taken as it is, zero and negative included.
inline constexpr double kMinimumSlideShowDelay = 0.01;
void ApplyPreferences(const SettingsRecord& edited, SettingsRecord& record);

}  // namespace brelvix::app
