// Settings through the store file in a temporary XDG config folder: what one
// run saves the next one reads, exactly; a missing or damaged store means
// the defaults.
#include <QMessageBox>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <bit>
#include <filesystem>
#include <fstream>

#include "app/common/app_test_support.h"
#include "app/settings.h"
#include "app/settings_table.h"
#include "app/view_widget.h"
#include "viewer/image_view.h"

namespace brelvix::app {

namespace {

using Settings = AppTest;

const std::string kKey = std::string("HKEY_CURRENT_USER\\") + kSettingsKeyPath;

void ExpectDefaults(MainFrame& frame)
{
    const ViewerSettings& document = frame.Image().Settings();
    EXPECT_FALSE(frame.Settings().ZoomToBestFit);
    EXPECT_FALSE(frame.Settings().EscFullscreen);
    EXPECT_EQ(document.slideShowDelay, 5.0);
    EXPECT_EQ(document.fastForwardSkip, 20);
    EXPECT_FALSE(document.includeSubdirectories);
    EXPECT_EQ(document.backgroundColor, 0xFFFFFFu);
    EXPECT_FALSE(document.showInfoInFullScreen);
    EXPECT_EQ(document.imageEditorPath, "");
    EXPECT_TRUE(document.applyOrientation);
    EXPECT_TRUE(frame.Settings().ShowToolbar);
    EXPECT_TRUE(frame.Settings().ShowStatusbar);
    EXPECT_FALSE(frame.ToolBar()->isHidden());
    EXPECT_FALSE(frame.statusBar()->isHidden());
    EXPECT_TRUE(frame.CommandAction(kCmdToolbar)->isChecked());
    EXPECT_TRUE(frame.CommandAction(kCmdStatusBar)->isChecked());
    EXPECT_FALSE(frame.CommandAction(kCmdAutozoom)->isChecked());
}

// The stored values as every version of the program names and types them,
// with the field each one is; the table must keep them exactly.
enum class Stored { Flag, Dword, Double, Text };
struct StoredValue {
    const char* name;
    Stored type;
    SettingField field;
};
const StoredValue kStoredValues[] = {
    {"ZoomToBestFit", Stored::Flag, &SettingsRecord::ZoomToBestFit},
    {"EscFullscreen", Stored::Flag, &SettingsRecord::EscFullscreen},
    {"SlideShowDelay", Stored::Double, &SettingsRecord::slideShowDelay},
    {"FastForwardSkip", Stored::Dword, &SettingsRecord::fastForwardSkip},
    {"ListSubdirectories", Stored::Flag, &SettingsRecord::includeSubdirectories},
    {"WindowFlags", Stored::Dword, &SettingsRecord::windowFlags},
    {"WindowShow", Stored::Dword, &SettingsRecord::windowShow},
    {"WindowLeft", Stored::Dword, &SettingsRecord::windowLeft},
    {"WindowTop", Stored::Dword, &SettingsRecord::windowTop},
    {"WindowRight", Stored::Dword, &SettingsRecord::windowRight},
    {"WindowBottom", Stored::Dword, &SettingsRecord::windowBottom},
    {"ShowToolbar", Stored::Flag, &SettingsRecord::ShowToolbar},
    {"ShowStatusbar", Stored::Flag, &SettingsRecord::ShowStatusbar},
    {"BackColor", Stored::Dword, &SettingsRecord::backgroundColor},
    {"InfoInFullscreen", Stored::Flag, &SettingsRecord::showInfoInFullScreen},
    {"ImageEditorPath", Stored::Text, &SettingsRecord::imageEditorPath},
    {"ApplyOrientation", Stored::Flag, &SettingsRecord::applyOrientation},
    {"ModernZoom", Stored::Flag, &SettingsRecord::modernZoom},
    {"OpenFolder", Stored::Text, &SettingsRecord::openFolder},
    {"ShowInfoPanel", Stored::Flag, &SettingsRecord::showInfoPanel},
    {"SortOrder", Stored::Dword, &SettingsRecord::sortOrder},
    {"SortReverse", Stored::Flag, &SettingsRecord::sortReverse},
};

std::vector<std::uint8_t> LittleEndian(std::uint64_t bits, std::size_t count)
{
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < count; ++i) {
        bytes.push_back(std::uint8_t(bits >> (8 * i)));
    }
    return bytes;
}

// The bytes value `index` of pass `pass` is stored as, each different from
// every other value's. A flag can only be 0 or 1: the k-th flag is bit
// `pass` of k + 1 in the first three passes and the opposite of its first
// pass in the fourth, so any two flags differ in some pass and every flag
// is both 0 and 1 in one.
std::vector<std::uint8_t> StoredBytes(Stored type, int index, int flag, int pass)
{
    switch (type) {
        case Stored::Flag:
            return LittleEndian(pass < 3 ? ((flag + 1) >> pass) & 1 : 1 - ((flag + 1) & 1), 4);
        case Stored::Dword:
            return LittleEndian(0x01000000u * std::uint32_t(index + 1) + std::uint32_t(pass), 4);
        case Stored::Double:
            return LittleEndian(std::bit_cast<std::uint64_t>(0.25 * (index + 1) + pass), 8);
        case Stored::Text:
            return {'/', 'e', std::uint8_t('0' + index), std::uint8_t('0' + pass)};
    }
    return {};
}

// What `field` of `record` holds, as the bytes it is stored as.
std::vector<std::uint8_t> FieldBytes(const SettingsRecord& record, const SettingField& field)
{
    return std::visit(
        [&record](auto member) -> std::vector<std::uint8_t> {
            const auto& held = record.*member;
            using T = std::decay_t<decltype(held)>;
            if constexpr (std::is_same_v<T, std::string>) {
                return {held.begin(), held.end()};
            } else if constexpr (std::is_same_v<T, double>) {
                return LittleEndian(std::bit_cast<std::uint64_t>(held), 8);
            } else {
                return LittleEndian(static_cast<std::uint32_t>(held), 4);
            }
        },
        field);
}

// A distinct value under every stored name is read into its own field and
// written back under its own name with its own type: a swapped, misspelled
// or retyped row fails here.
TEST_F(Settings, EveryStoredValueKeepsItsNameTypeAndField)
{
    std::vector<std::string> names;
    for (const SettingRow& row : SettingRows()) {
        names.emplace_back(row.name);
    }
    std::vector<std::string> expected;
    for (const StoredValue& value : kStoredValues) {
        expected.emplace_back(value.name);
    }
    ASSERT_EQ(names, expected);

    for (int pass = 0; pass < 4; ++pass) {
        SCOPED_TRACE(pass);
        const std::string written = (temp.Path() / ("written" + std::to_string(pass))).string();
        {
            platform::RegistryStore store(written);
            ASSERT_TRUE(store.CreateKey(kKey));
            int flag = 0;
            for (std::size_t i = 0; i < std::size(kStoredValues); ++i) {
                const StoredValue& value = kStoredValues[i];
                const std::vector<std::uint8_t> bytes = StoredBytes(value.type, int(i), flag, pass);
                flag += value.type == Stored::Flag ? 1 : 0;
                ASSERT_TRUE(store.SetValue(kKey, value.name,
                                           value.type == Stored::Text ? platform::kRegSz : platform::kRegDword,
                                           bytes.data(), bytes.size()));
            }
        }
        SettingsRecord record = DefaultSettings();
        RegistryKey source(written, RegistryRoot::CurrentUser, kSettingsKeyPath);
        EXPECT_TRUE(ReadSettings(source, record));

        const std::string rewritten = (temp.Path() / ("rewritten" + std::to_string(pass))).string();
        {
            RegistryKey target(rewritten, RegistryRoot::CurrentUser, kSettingsKeyPath, RegistryKey::kCreate);
            WriteSettings(target, record);
        }
        platform::RegistryStore store(rewritten);
        int flag = 0;
        for (std::size_t i = 0; i < std::size(kStoredValues); ++i) {
            const StoredValue& value = kStoredValues[i];
            SCOPED_TRACE(value.name);
            const std::vector<std::uint8_t> bytes = StoredBytes(value.type, int(i), flag, pass);
            flag += value.type == Stored::Flag ? 1 : 0;
            EXPECT_EQ(FieldBytes(record, value.field), bytes);
            std::uint32_t type = 99;
            std::vector<std::uint8_t> data;
            ASSERT_TRUE(store.QueryValue(kKey, value.name, &type, &data));
            EXPECT_EQ(type, value.type == Stored::Text ? platform::kRegSz : platform::kRegDword);
            EXPECT_EQ(data, bytes);
        }
    }
}

TEST_F(Settings, RoundTripKeepsEveryValueExactly)
{
    const std::string editor = "/opt/" + std::string(295, 'e');  // 300 characters
    const std::string picture = WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3});
    QRect framed;
    {
        auto frame = OpenFrame(picture);
        Change(*frame, [&editor](SettingsRecord& settings) {
            settings.slideShowDelay = 2.5;
            settings.fastForwardSkip = 7;
            settings.includeSubdirectories = true;
            settings.backgroundColor = 0x00123456;
            settings.showInfoInFullScreen = true;
            settings.imageEditorPath = editor;
            settings.applyOrientation = false;
            settings.EscFullscreen = true;
        });
        Press(*frame, Qt::Key_Slash, Qt::KeypadModifier);  // best fit on
        Press(*frame, Qt::Key_T, Qt::ControlModifier);     // toolbar hidden
        Press(*frame, Qt::Key_S, Qt::ControlModifier);     // status bar hidden
        frame->setGeometry(30, 40, 400, 300);
        Settle();
        framed = frame->frameGeometry();
        frame->close();
    }

    platform::RegistryStore store(StorePath());
    std::uint32_t type = 99;
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(store.QueryValue(kKey, "SlideShowDelay", &type, &data));
    EXPECT_EQ(type, platform::kRegDword);
    ASSERT_EQ(data.size(), 8u);
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) {
        bits = (bits << 8) | data[i];
    }
    EXPECT_EQ(bits, std::bit_cast<std::uint64_t>(2.5));
    ASSERT_TRUE(store.QueryValue(kKey, "ImageEditorPath", &type, &data));
    EXPECT_EQ(type, platform::kRegSz);
    EXPECT_EQ(std::string(data.begin(), data.end()), editor);  // no terminator stored

    MainFrame frame;
    const ViewerSettings& document = frame.Image().Settings();
    EXPECT_EQ(std::bit_cast<std::uint64_t>(document.slideShowDelay), std::bit_cast<std::uint64_t>(2.5));
    EXPECT_EQ(document.fastForwardSkip, 7);
    EXPECT_TRUE(document.includeSubdirectories);
    EXPECT_EQ(document.backgroundColor, 0x00123456u);
    EXPECT_TRUE(document.showInfoInFullScreen);
    EXPECT_EQ(document.imageEditorPath, editor);
    EXPECT_FALSE(document.applyOrientation);
    ASSERT_TRUE(store.QueryValue(kKey, "ApplyOrientation", &type, &data));
    EXPECT_EQ(type, platform::kRegDword);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{0, 0, 0, 0}));
    EXPECT_TRUE(frame.Settings().EscFullscreen);
    EXPECT_TRUE(frame.Settings().ZoomToBestFit);
    EXPECT_TRUE(frame.CommandAction(kCmdAutozoom)->isChecked());
    EXPECT_FALSE(frame.Settings().ShowToolbar);
    EXPECT_TRUE(frame.ToolBar()->isHidden());
    EXPECT_FALSE(frame.CommandAction(kCmdToolbar)->isChecked());
    EXPECT_FALSE(frame.Settings().ShowStatusbar);
    EXPECT_TRUE(frame.statusBar()->isHidden());
    // The window comes back where it was, frame and all.
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    Settle();
    EXPECT_EQ(frame.frameGeometry(), framed);
    EXPECT_EQ(frame.geometry(), QRect(30, 40, 400, 300));
}

TEST_F(Settings, MissingStoreGivesTheDefaultsAndTheFirstCloseCreatesTheKey)
{
    ASSERT_FALSE(std::filesystem::exists(StorePath()));
    auto frame = OpenFrame(WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3}));
    ExpectDefaults(*frame);
    Change(*frame, [](SettingsRecord& settings) { settings.fastForwardSkip = 3; });
    frame->close();

    RegistryKey key(StorePath(), RegistryRoot::CurrentUser, kSettingsKeyPath);
    ASSERT_TRUE(key.IsOpen());
    std::int32_t skip = 0;
    EXPECT_TRUE(key.ReadDword("FastForwardSkip", &skip));
    EXPECT_EQ(skip, 3);
}

TEST_F(Settings, CorruptStoreGivesTheDefaultsAndIsKeptAside)
{
    std::filesystem::create_directories(std::filesystem::path(StorePath()).parent_path());
    const std::string garbage = std::string("\x01\x02garbage\n[[[", 12) + std::string(100, '\xff');
    std::ofstream(StorePath(), std::ios::binary) << garbage;

    auto frame = OpenFrame(WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3}));
    ExpectDefaults(*frame);
    Change(*frame, [](SettingsRecord& settings) { settings.slideShowDelay = 1.5; });
    frame->close();

    // The damaged file is kept under another name; a fresh store holds the
    // new values.
    int kept = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(StorePath()).parent_path())) {
        const std::string name = entry.path().filename().string();
        if (name != "registry" && name.rfind("registry", 0) == 0) {
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            kept += content == garbage ? 1 : 0;
        }
    }
    EXPECT_EQ(kept, 1);
    RegistryKey key(StorePath(), RegistryRoot::CurrentUser, kSettingsKeyPath);
    double delay = 0;
    EXPECT_TRUE(key.ReadDouble("SlideShowDelay", &delay));
    EXPECT_EQ(delay, 1.5);
}

TEST_F(Settings, ValuesOfTheWrongSizeAreIgnored)
{
    platform::RegistryStore store(StorePath());
    ASSERT_TRUE(store.CreateKey(kKey));
    const std::uint8_t two[2] = {9, 0};
    const std::uint8_t four[4] = {0, 0, 0x20, 0x40};  // 4 bytes where a double belongs
    ASSERT_TRUE(store.SetValue(kKey, "FastForwardSkip", platform::kRegDword, two, sizeof two));
    ASSERT_TRUE(store.SetValue(kKey, "SlideShowDelay", platform::kRegDword, four, sizeof four));
    const std::uint8_t skip[4] = {12, 0, 0, 0};
    ASSERT_TRUE(store.SetValue(kKey, "ListSubdirectories", platform::kRegDword, skip, sizeof skip));

    MainFrame frame;
    EXPECT_EQ(frame.Image().Settings().fastForwardSkip, 20);
    EXPECT_EQ(frame.Image().Settings().slideShowDelay, 5.0);
    EXPECT_TRUE(frame.Image().Settings().includeSubdirectories);  // any non-zero value is true
}

// A settings file that cannot be read, or holds lines this version does not
// know, never costs the user a setting without a word.
TEST_F(Settings, FileProblemsAreToldOnceAndCostNoSetting)
{
    const std::string stored = "# Brelvix registry, format 1\n[" + kKey + "]\n\"FastForwardSkip\" dword u32 7\n";
    const struct {
        const char* what;
        std::string contents;
        std::size_t padTo;
        std::int32_t skipRead;
        const char* told;  // part of the message, or null for none
    } cases[] = {
        {"a later version's value", stored + "\"Zoom\" qword u64 1\n", 0, 7, nullptr},
        {"larger than a store can be", stored, 17u << 20, 20, "cannot read"},
        {"nothing recognisable", "garbage\n", 0, 20, "It was kept as"},
    };
    std::filesystem::create_directories(std::filesystem::path(StorePath()).parent_path());
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        std::ofstream(StorePath(), std::ios::binary | std::ios::trunc) << test.contents;
        if (test.padTo > 0) {
            std::filesystem::resize_file(StorePath(), test.padTo);
        }
        auto frame = OpenFrame(WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3}));
        const QList<QMessageBox*> boxes = frame->findChildren<QMessageBox*>();
        if (test.told == nullptr) {
            EXPECT_TRUE(boxes.empty());
        } else {
            ASSERT_EQ(boxes.size(), 1);
            EXPECT_TRUE(boxes[0]->text().contains(QString::fromStdString(StorePath())))
                << boxes[0]->text().toStdString();
            EXPECT_TRUE(boxes[0]->text().contains(QLatin1String(test.told))) << boxes[0]->text().toStdString();
            boxes[0]->close();
        }
        EXPECT_EQ(frame->Image().Settings().fastForwardSkip, test.skipRead);
        Change(*frame, [](SettingsRecord& settings) { settings.fastForwardSkip = 3; });
        frame->close();
        Settle();

        std::ifstream in(StorePath(), std::ios::binary);
        const std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (test.padTo > 0) {
            EXPECT_EQ(after.size(), test.padTo);  // left as it was, not overwritten
            EXPECT_EQ(after.compare(0, stored.size(), stored), 0);
        } else {
            EXPECT_NE(after.find("\n\"FastForwardSkip\" dword u32 3\n"), std::string::npos) << after;
            EXPECT_EQ(after.find("\"Zoom\" qword u64 1\n") != std::string::npos, test.told == nullptr) << after;
        }
    }
}

TEST_F(Settings, MaximisedPlacementIsRestored)
{
    {
        RegistryKey key(StorePath(), RegistryRoot::CurrentUser, kSettingsKeyPath, RegistryKey::kCreate);
        key.WriteDword("WindowShow", 3);
        key.WriteDword("WindowLeft", 20);
        key.WriteDword("WindowTop", 30);
        key.WriteDword("WindowRight", 420);
        key.WriteDword("WindowBottom", 330);
    }
    auto frame = OpenFrame(WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3}));
    EXPECT_TRUE(frame->isMaximized());
    frame->close();

    RegistryKey key(StorePath(), RegistryRoot::CurrentUser, kSettingsKeyPath);
    std::int32_t show = 0, left = 0, right = 0;
    key.ReadDword("WindowShow", &show);
    key.ReadDword("WindowLeft", &left);
    key.ReadDword("WindowRight", &right);
    EXPECT_EQ(show, 3);
    // The normal rectangle, not the maximised one, is what is kept.
    EXPECT_EQ(left, 20);
    EXPECT_EQ(right, 420);
}

}  // namespace

}  // namespace brelvix::app
