#include "app/settings_table.h"

#include <iterator>
#include <type_traits>

#include "app/settings.h"

namespace brelvix::app {

namespace {

// The type a row's field holds.
template <typename Field>
struct FieldType;
template <typename T>
struct FieldType<T SettingsRecord::*> {
    using Type = T;
};

// One row of each owner; the default has the field's type.
template <typename T>
constexpr SettingRow Row(const char* name, T FrameSettings::*field, std::type_identity_t<T> fallback,
                         PreferencesPage page = PreferencesPage::None, const char* label = nullptr)
{
    return {name, SettingOwner::Frame, static_cast<T SettingsRecord::*>(field), fallback, page, label};
}
template <typename T>
constexpr SettingRow Row(const char* name, T ViewerSettings::*field, std::type_identity_t<T> fallback,
                         PreferencesPage page = PreferencesPage::None, const char* label = nullptr)
{
    return {name, SettingOwner::Viewer, static_cast<T SettingsRecord::*>(field), fallback, page, label};
}
constexpr SettingRow Row(const char* name, std::string ViewerSettings::*field, const char* fallback,
                         PreferencesPage page)
{
    return {name, SettingOwner::Viewer, static_cast<std::string SettingsRecord::*>(field), fallback, page, nullptr};
}
constexpr SettingRow Row(const char* name, std::string FrameSettings::*field, const char* fallback)
{
    return {name,     SettingOwner::Frame,   static_cast<std::string SettingsRecord::*>(field),
            fallback, PreferencesPage::None, nullptr};
}
// An edge of the window's rectangle: without a stored value the new window
// keeps its own.
constexpr SettingRow WindowEdge(const char* name, std::int32_t FrameSettings::*field)
{
    return {name,
            SettingOwner::Frame,
            static_cast<std::int32_t SettingsRecord::*>(field),
            std::monostate{},
            PreferencesPage::None,
            nullptr};
}

constexpr PreferencesPage kGeneral = PreferencesPage::General;

// The original sixteen values in their order, then those added since.
constexpr SettingRow kRows[] = {
    Row("ZoomToBestFit", &FrameSettings::ZoomToBestFit, false),
    Row("EscFullscreen", &FrameSettings::EscFullscreen, false, kGeneral),
    Row("SlideShowDelay", &ViewerSettings::slideShowDelay, 5.0, kGeneral),
    Row("FastForwardSkip", &ViewerSettings::fastForwardSkip, 20, kGeneral),
    Row("ListSubdirectories", &ViewerSettings::includeSubdirectories, false, kGeneral),
    Row("WindowFlags", &FrameSettings::windowFlags, 0),
    Row("WindowShow", &FrameSettings::windowShow, static_cast<std::int32_t>(WindowShow::Normal)),
    WindowEdge("WindowLeft", &FrameSettings::windowLeft),
    WindowEdge("WindowTop", &FrameSettings::windowTop),
    WindowEdge("WindowRight", &FrameSettings::windowRight),
    WindowEdge("WindowBottom", &FrameSettings::windowBottom),
    Row("ShowToolbar", &FrameSettings::ShowToolbar, true),
    Row("ShowStatusbar", &FrameSettings::ShowStatusbar, true),
    Row("BackColor", &ViewerSettings::backgroundColor, 0xFFFFFF, kGeneral),
    Row("InfoInFullscreen", &ViewerSettings::showInfoInFullScreen, false),
    Row("ImageEditorPath", &ViewerSettings::imageEditorPath, "", kGeneral),
    Row("ApplyOrientation", &ViewerSettings::applyOrientation, true, PreferencesPage::Viewing,
        " Turn pictures upright as the camera recorded"),
    Row("ModernZoom", &ViewerSettings::modernZoom, false, PreferencesPage::Viewing,
        " Zoom around the middle of the view and keep fitting as the window changes"),
    Row("OpenFolder", &FrameSettings::openFolder, ""),
    Row("ShowInfoPanel", &FrameSettings::showInfoPanel, false, PreferencesPage::Viewing,
        " Show the picture information panel"),
    Row("SortOrder", &ViewerSettings::sortOrder, 0),
    Row("SortReverse", &ViewerSettings::sortReverse, false, PreferencesPage::Viewing,
        " Sort the file list in reverse order"),
};

}  // namespace

std::span<const SettingRow> SettingRows()
{
    return {kRows, std::size(kRows)};
}

SettingsRecord DefaultSettings()
{
    SettingsRecord record;
    for (const SettingRow& row : SettingRows()) {
        std::visit(
            [&](auto field) {
                using T = typename FieldType<decltype(field)>::Type;
                using Stored = std::conditional_t<std::is_same_v<T, std::string>, const char*, T>;
                if (const auto* fallback = std::get_if<Stored>(&row.fallback)) {
                    record.*field = *fallback;
                }
            },
            row.field);
    }
    return record;
}

bool ReadSettings(RegistryKey& key, SettingsRecord& record)
{
    bool placed = false;
    for (const SettingRow& row : SettingRows()) {
        const bool read = std::visit(
            [&](auto field) {
                using T = typename FieldType<decltype(field)>::Type;
                if constexpr (std::is_same_v<T, double>) {
                    return key.ReadDouble(row.name, &(record.*field));
                } else if constexpr (std::is_same_v<T, std::string>) {
                    return key.ReadString(row.name, &(record.*field));
                } else {
                    std::int32_t value = 0;
                    if (!key.ReadDword(row.name, &value)) {
                        return false;
                    }
                    if constexpr (std::is_same_v<T, bool>) {
                        record.*field = value != 0;
                    } else {
                        record.*field = static_cast<T>(value);
                    }
                    return true;
                }
            },
            row.field);
        placed = placed || (read && std::holds_alternative<std::monostate>(row.fallback));
    }
    return placed;
}

void WriteSettings(RegistryKey& key, const SettingsRecord& record)
{
    for (const SettingRow& row : SettingRows()) {
        std::visit(
            [&](auto field) {
                using T = typename FieldType<decltype(field)>::Type;
                if constexpr (std::is_same_v<T, double>) {
                    key.WriteDouble(row.name, record.*field);
                } else if constexpr (std::is_same_v<T, std::string>) {
                    key.WriteString(row.name, record.*field);
                } else if constexpr (std::is_same_v<T, bool>) {
                    key.WriteDword(row.name, record.*field ? 1 : 0);
                } else {
                    key.WriteDword(row.name, static_cast<std::int32_t>(record.*field));
                }
            },
            row.field);
    }
}

void ApplyPreferences(const SettingsRecord& edited, SettingsRecord& record)
{
    for (const SettingRow& row : SettingRows()) {
        if (row.page != PreferencesPage::None) {
            std::visit([&](auto field) { record.*field = edited.*field; }, row.field);
        }
    }
    // Not a number compares false and is held at the minimum too.
    if (!(record.slideShowDelay >= kMinimumSlideShowDelay)) {
        record.slideShowDelay = kMinimumSlideShowDelay;
    }
}

}  // namespace brelvix::app
