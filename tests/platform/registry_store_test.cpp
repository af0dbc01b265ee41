#include "platform/registry_store.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "platform_test_util.h"
#include "support/temp_dir.h"

namespace brelvix::platform {

namespace {

const std::string kKey = "HKEY_CURRENT_USER\\SOFTWARE\\Dunmere Corporation\\Brelvix";

std::vector<std::uint8_t> Bytes(std::string_view text)
{
    return {text.begin(), text.end()};
}

std::vector<std::uint8_t> DwordBytes(std::uint32_t number)
{
    return {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
            static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
}

std::vector<std::uint8_t> DoubleBytes(std::uint64_t bits)
{
    std::vector<std::uint8_t> bytes(8);
    std::memcpy(bytes.data(), &bits, 8);
    return bytes;
}

class RegistryStoreTest : public ::testing::Test {
protected:
    std::string StorePath() const { return (folder.Path() / "brelvix" / "registry").string(); }

    TempDir folder;
    RegistryStore store{StorePath()};
};

struct StoredValue {
    std::string name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
};

TEST_F(RegistryStoreTest, ValuesOfEveryKindReadBackExactly)
{
    const std::vector<StoredValue> values = {
        {"ZoomToBestFit", kRegDword, {1, 0, 0, 0}},
        {"BackColor", kRegDword, {0xFF, 0xFF, 0xFF, 0x00}},
        {"Negative", kRegDword, {0xFE, 0xFF, 0xFF, 0xFF}},
        // Doubles under the dword tag, bit for bit.
        {"SlideShowDelay", kRegDword, DoubleBytes(std::bit_cast<std::uint64_t>(2.5))},
        {"Tenth", kRegDword, DoubleBytes(std::bit_cast<std::uint64_t>(0.1))},
        {"NegativeZero", kRegDword, DoubleBytes(0x8000000000000000u)},
        {"Tiny", kRegDword, DoubleBytes(1)},  // the smallest subnormal
        {"NaNPayload", kRegDword, DoubleBytes(0x7FF8000000000123u)},
        {"SignallingNaN", kRegDword, DoubleBytes(0xFFF0000000000001u)},
        {"Infinity", kRegDword, DoubleBytes(0x7FF0000000000000u)},
        {"OddDword", kRegDword, {1, 2, 3}},
        {"ImageEditorPath", kRegSz, Bytes("/usr/bin/picture editor")},
        {"Long", kRegSz, Bytes(std::string(300, 'x'))},
        {"Awkward", kRegSz, Bytes("line 1\nline 2\r\n\tname=value \\\\server\\share \"quoted\" 100% %41 [key]")},
        {"NotUtf8", kRegSz, Bytes("caf\xE9 \xFF\xFE \xC3 \xC3\xA9 \xED\xA0\x80 \xF4\x90\x80\x80 \x7F")},
        {"WithNul", kRegSz, Bytes(std::string_view("a\0b", 3))},
        {"EmptyString", kRegSz, {}},
        {"Brelvix.JPEGFile", kRegNone, {}},
        {"Blob", kRegBinary, {0x00, 0x0A, 0x22, 0x25, 0xFF}},
        {"Expandable", kRegExpandSz, Bytes("%HOME%\\x")},
        {"UnknownType", 7, Bytes(std::string_view("a\0b\0\0", 5))},
        {"", kRegSz, Bytes("Brelvix.JPEGFile")},  // the default value
        {"odd \"name\"\n=%", kRegDword, {9, 0, 0, 0}},
    };
    ASSERT_TRUE(store.CreateKey(kKey));
    for (const StoredValue& value : values) {
        ASSERT_TRUE(store.SetValue(kKey, value.name, value.type, value.data.data(), value.data.size())) << value.name;
    }

    RegistryStore reader(StorePath());
    for (const StoredValue& value : values) {
        std::uint32_t type = 99;
        std::vector<std::uint8_t> data = {0xAA};
        ASSERT_TRUE(reader.QueryValue(kKey, value.name, &type, &data)) << value.name;
        EXPECT_EQ(type, value.type) << value.name;
        EXPECT_EQ(data, value.data) << value.name;
    }
}

TEST_F(RegistryStoreTest, FileIsReadableText)
{
    const double delay = 2.5;
    const std::uint32_t skip = 20;
    ASSERT_TRUE(store.CreateKey(kKey));
    ASSERT_TRUE(store.SetValue(kKey, "SlideShowDelay", kRegDword, &delay, 8));
    ASSERT_TRUE(store.SetValue(kKey, "FastForwardSkip", kRegDword, &skip, 4));
    ASSERT_TRUE(store.SetValue(kKey, "ImageEditorPath", kRegSz, "/opt/my editor\n", 15));
    ASSERT_TRUE(store.SetValue(kKey, "Brelvix.PNGFile", kRegNone, nullptr, 0));

    const std::string text = ReadText(StorePath());
    EXPECT_NE(text.find("\n[HKEY_CURRENT_USER\\SOFTWARE\\Dunmere Corporation\\Brelvix]\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n\"SlideShowDelay\" dword f64 2.5\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n\"FastForwardSkip\" dword u32 20\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n\"ImageEditorPath\" sz \"/opt/my editor%0A\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n\"Brelvix.PNGFile\" none\n"), std::string::npos) << text;
}

TEST_F(RegistryStoreTest, ReadsAHandWrittenFile)
{
    std::filesystem::create_directories(folder.Path() / "brelvix");
    folder.Write("brelvix/registry",
                 "# Brelvix registry, format 1\r\n"
                 "# a comment\r\n"
                 "\r\n"
                 "[Root\\Sub]\r\n"
                 "\"Number\" dword u32 4294967295\r\n"
                 "\"Delay\" dword f64 -1e-3\r\n"
                 "\"Text\" sz \"a%22b%0Ac%25\"\r\n"
                 "\"Bytes\" binary hex 00 ff 7F\r\n"
                 "\"Number\" dword u32 7\r\n"
                 "\"Eleven\" 11 hex\r\n"
                 "[root\\SUB\\deeper]\r\n");
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(store.QueryValue("ROOT\\sub", "number", &type, &data));
    EXPECT_EQ(type, kRegDword);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{7, 0, 0, 0}));  // a repeated name: the last line wins
    ASSERT_TRUE(store.QueryValue("Root\\Sub", "Delay", &type, &data));
    EXPECT_EQ(data, DoubleBytes(std::bit_cast<std::uint64_t>(-1e-3)));
    ASSERT_TRUE(store.QueryValue("Root\\Sub", "Text", &type, &data));
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(data, Bytes("a\"b\nc%"));
    ASSERT_TRUE(store.QueryValue("Root\\Sub", "Bytes", &type, &data));
    EXPECT_EQ(type, kRegBinary);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{0x00, 0xFF, 0x7F}));
    ASSERT_TRUE(store.QueryValue("Root\\Sub", "Eleven", &type, &data));
    EXPECT_EQ(type, 11u);
    EXPECT_TRUE(data.empty());
    EXPECT_TRUE(store.KeyExists("Root"));
    EXPECT_TRUE(store.KeyExists("Root\\Sub\\Deeper"));
}

TEST_F(RegistryStoreTest, KeysAndNamesIgnoreLetterCase)
{
    ASSERT_TRUE(store.CreateKey("A\\B\\C"));
    EXPECT_TRUE(store.KeyExists("A"));
    EXPECT_TRUE(store.KeyExists("a\\b"));
    EXPECT_TRUE(store.KeyExists("A\\b\\C"));
    EXPECT_FALSE(store.KeyExists("A\\B\\C\\D"));
    EXPECT_FALSE(store.KeyExists("A\\C"));
    EXPECT_FALSE(store.KeyExists("A\\B\\"));

    const std::uint32_t one = 1;
    const std::uint32_t two = 2;
    ASSERT_TRUE(store.SetValue("a\\b\\c", "Flag", kRegDword, &one, 4));
    ASSERT_TRUE(store.SetValue("A\\B\\C", "FLAG", kRegDword, &two, 4));
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(store.QueryValue("A\\b\\c", "flag", nullptr, &data));
    EXPECT_EQ(data, (std::vector<std::uint8_t>{2, 0, 0, 0}));
    // One value, under the spelling it was created with.
    const std::string text = ReadText(StorePath());
    EXPECT_NE(text.find("\"Flag\""), std::string::npos);
    EXPECT_EQ(text.find("\"FLAG\""), std::string::npos);
    // Case folding is ASCII only: other letters are distinct names.
    ASSERT_TRUE(store.CreateKey("\xC3\xA9"));
    EXPECT_FALSE(store.KeyExists("\xC3\x89"));
}

TEST_F(RegistryStoreTest, InvalidKeyPathsFail)
{
    const std::uint32_t one = 1;
    for (const std::string& key : {std::string(), std::string("\\A"), std::string("A\\"), std::string("A\\\\B")}) {
        EXPECT_FALSE(store.CreateKey(key)) << key;
        EXPECT_FALSE(store.KeyExists(key)) << key;
        EXPECT_FALSE(store.SetValue(key, "x", kRegDword, &one, 4)) << key;
    }
    EXPECT_FALSE(std::filesystem::exists(StorePath()));
}

TEST_F(RegistryStoreTest, SetValueNeedsAnExistingKey)
{
    const std::uint32_t one = 1;
    EXPECT_FALSE(store.SetValue(kKey, "ZoomToBestFit", kRegDword, &one, 4));
    EXPECT_FALSE(std::filesystem::exists(StorePath()));

    ASSERT_TRUE(store.CreateKey("HKEY_CURRENT_USER\\SOFTWARE"));
    EXPECT_FALSE(store.SetValue(kKey, "ZoomToBestFit", kRegDword, &one, 4));
    EXPECT_FALSE(store.KeyExists(kKey));
    EXPECT_FALSE(store.QueryValue(kKey, "ZoomToBestFit", nullptr, nullptr));
}

TEST_F(RegistryStoreTest, MissingFileIsAnEmptyStoreAndReadsCreateNothing)
{
    std::uint32_t type = 42;
    std::vector<std::uint8_t> data = {1, 2};
    EXPECT_FALSE(store.KeyExists(kKey));
    EXPECT_FALSE(store.QueryValue(kKey, "ZoomToBestFit", &type, &data));
    EXPECT_EQ(type, 42u);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{1, 2}));
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "brelvix"));
}

TEST_F(RegistryStoreTest, QueryLeavesOutputsAloneForAMissingValue)
{
    ASSERT_TRUE(store.CreateKey(kKey));
    std::uint32_t type = 42;
    std::vector<std::uint8_t> data = {1, 2};
    EXPECT_FALSE(store.QueryValue(kKey, "Absent", &type, &data));
    EXPECT_EQ(type, 42u);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{1, 2}));
}

// Contents with nothing recognisable (no header line, key or value) must
// read as an empty store and be kept aside untouched.
TEST_F(RegistryStoreTest, FilesWithNothingRecognisableAreKeptAsideAndTheNextWriteStartsAfresh)
{
    const std::vector<std::string> damaged = {
        "garbage\n",
        std::string("\0\0\0\xFF", 4),
        "# Brelvix registry, format 2\n",  // a later format
        "\"NoKey\" dword u32 1\n",
        "[A\\\\B]\n\"x\" dword u32 1\n",
        "[A\n",
        "[]\n",
    };
    for (const std::string& contents : damaged) {
        SCOPED_TRACE(contents);
        TempDir scratch;
        const std::string path = (scratch.Path() / "registry").string();
        scratch.Write("registry", contents);
        RegistryStore damagedStore(path);

        EXPECT_FALSE(damagedStore.KeyExists("A"));
        std::vector<std::string> names = ListFolder(scratch.Path());
        ASSERT_EQ(names.size(), 1u);
        EXPECT_EQ(names[0].rfind("registry.corrupt-", 0), 0u) << names[0];
        EXPECT_EQ(ReadText(scratch.Path() / names[0]), contents);
        EXPECT_EQ(damagedStore.Problem(), RegistryStore::FileProblem::kKeptAside);
        EXPECT_EQ(damagedStore.KeptAsidePath(), (scratch.Path() / names[0]).string());

        const std::uint32_t one = 1;
        ASSERT_TRUE(damagedStore.CreateKey("A"));
        ASSERT_TRUE(damagedStore.SetValue("A", "x", kRegDword, &one, 4));
        EXPECT_TRUE(damagedStore.QueryValue("A", "x", nullptr, nullptr));
        EXPECT_EQ(ListFolder(scratch.Path()).size(), 2u);
    }
}

// Regression: reading once materialised every parent path of every key line
// and searched values linearly, so a large or deeply nested file took
// quadratic time and memory.
TEST_F(RegistryStoreTest, HugeStoreWithDeepKeysAndManyValues)
{
    std::string text = "# Brelvix registry, format 1\n[Wide]\n";
    for (int i = 0; i < 20000; ++i) {
        text += "\"V" + std::to_string(i) + "\" dword u32 " + std::to_string(i) + "\n";
    }
    std::string deep = "D";
    for (int i = 0; i < 6000; ++i) {
        deep += "\\D" + std::to_string(i);
    }
    for (int i = 0; i < 50; ++i) {
        text += "[" + deep + "\\Leaf" + std::to_string(i) + "]\n";
    }
    std::filesystem::create_directories(folder.Path() / "brelvix");
    folder.Write("brelvix/registry", text);

    std::vector<std::uint8_t> data;
    ASSERT_TRUE(store.QueryValue("wide", "v19999", nullptr, &data));
    EXPECT_EQ(data, DwordBytes(19999));
    EXPECT_TRUE(store.KeyExists(deep.substr(0, deep.find("\\D5000"))));
    EXPECT_TRUE(store.KeyExists(deep + "\\Leaf49"));
    const std::uint32_t one = 1;
    ASSERT_TRUE(store.SetValue(deep, "Middle", kRegDword, &one, 4));
    EXPECT_TRUE(store.QueryValue(deep, "middle", nullptr, nullptr));
    EXPECT_TRUE(store.QueryValue("Wide", "V0", nullptr, nullptr));
}

// Damaged copies of a real store (bytes flipped, cut, duplicated) must each
// read either as a store or as empty, never crash, and never lose the file.
TEST_F(RegistryStoreTest, MutatedFilesNeverCrash)
{
    ASSERT_TRUE(store.CreateKey(kKey));
    const double delay = 0.25;
    ASSERT_TRUE(store.SetValue(kKey, "SlideShowDelay", kRegDword, &delay, 8));
    ASSERT_TRUE(store.SetValue(kKey, "ImageEditorPath", kRegSz, "/a b\n%\"\xFF", 8));
    ASSERT_TRUE(store.SetValue(kKey, "Blob", kRegBinary, "\x01\x02\x03", 3));
    ASSERT_TRUE(store.SetValue(kKey, "", kRegNone, nullptr, 0));
    const std::string original = ReadText(StorePath());

    std::uint32_t seed = 12345;
    const auto next = [&seed](std::uint32_t bound) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % bound;
    };
    for (int round = 0; round < 300; ++round) {
        std::string mutated = original;
        const int edits = 1 + static_cast<int>(next(4));
        for (int edit = 0; edit < edits; ++edit) {
            const size_t at = next(static_cast<std::uint32_t>(mutated.size()));
            switch (next(4)) {
                case 0:
                    mutated[at] = static_cast<char>(next(256));
                    break;
                case 1:
                    mutated.resize(at);
                    break;
                case 2:
                    mutated.insert(at, mutated.substr(at, next(40)));
                    break;
                default:
                    mutated.erase(at, next(8));
                    break;
            }
            if (mutated.empty()) {
                mutated = "#";
            }
        }
        TempDir scratch;
        scratch.Write("registry", mutated);
        RegistryStore mutatedStore((scratch.Path() / "registry").string());
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
        mutatedStore.QueryValue(kKey, "ImageEditorPath", &type, &data);
        const std::vector<std::string> names = ListFolder(scratch.Path());
        ASSERT_EQ(names.size(), 1u);
        EXPECT_EQ(ReadText(scratch.Path() / names[0]), mutated);
    }
}

TEST_F(RegistryStoreTest, DamagedFileMetFirstByAWriteIsKeptAside)
{
    std::filesystem::create_directories(folder.Path() / "brelvix");
    folder.Write("brelvix/registry", "not a store");
    ASSERT_TRUE(store.CreateKey(kKey));
    const std::vector<std::string> names = ListFolder(folder.Path() / "brelvix");
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "registry");
    EXPECT_EQ(names[1].rfind("registry.corrupt-", 0), 0u);
    EXPECT_EQ(ReadText(folder.Path() / "brelvix" / names[1]), "not a store");
    EXPECT_TRUE(store.KeyExists(kKey));

    // A second damaged file on the same second does not replace the first one kept.
    folder.Write("brelvix/registry", "damaged again");
    EXPECT_FALSE(store.KeyExists(kKey));
    EXPECT_EQ(ListFolder(folder.Path() / "brelvix").size(), 2u);
}

TEST_F(RegistryStoreTest, UnreadableStoreReadsEmptyAndIsNotOverwritten)
{
    // A folder where the file should be cannot be read as a store.
    std::filesystem::create_directories(folder.Path() / "brelvix" / "registry");
    folder.Write("brelvix/registry/keep", "user data");
    EXPECT_FALSE(store.KeyExists(kKey));
    ASSERT_TRUE(store.CreateKey(kKey));
    EXPECT_TRUE(store.KeyExists(kKey));
    for (const std::string& name : ListFolder(folder.Path() / "brelvix")) {
        if (name != "registry") {
            EXPECT_EQ(ReadText(folder.Path() / "brelvix" / name / "keep"), "user data");
        }
    }
}

TEST_F(RegistryStoreTest, EmptyFileIsAnEmptyStore)
{
    std::filesystem::create_directories(folder.Path() / "brelvix");
    folder.Write("brelvix/registry", "");
    EXPECT_FALSE(store.KeyExists(kKey));
    EXPECT_EQ(ListFolder(folder.Path() / "brelvix"), std::vector<std::string>{"registry"});
    EXPECT_TRUE(store.CreateKey(kKey));
}

TEST_F(RegistryStoreTest, ReplacementLeavesNoTemporaryFilesAndKeepsPermissions)
{
    const std::uint32_t one = 1;
    ASSERT_TRUE(store.CreateKey(kKey));
    struct stat info {};
    ASSERT_EQ(stat(StorePath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(stat((folder.Path() / "brelvix").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    ASSERT_EQ(chmod(StorePath().c_str(), 0640), 0);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(store.SetValue(kKey, "V" + std::to_string(i), kRegDword, &one, 4));
    }
    EXPECT_FALSE(store.SetValue(kKey + "\\Missing", "V", kRegDword, &one, 4));
    EXPECT_EQ(ListFolder(folder.Path() / "brelvix"), std::vector<std::string>{"registry"});
    ASSERT_EQ(stat(StorePath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(RegistryStoreTest, SymbolicLinkToTheStoreSurvivesWrites)
{
    const std::filesystem::path target = folder.Path() / "dotfiles" / "registry";
    std::filesystem::create_directories(target.parent_path());
    std::filesystem::create_directories(folder.Path() / "brelvix");
    std::filesystem::create_symlink(target, StorePath());

    ASSERT_TRUE(store.CreateKey(kKey));
    EXPECT_TRUE(std::filesystem::is_symlink(StorePath()));
    EXPECT_TRUE(RegistryStore(target.string()).KeyExists(kKey));
}

TEST_F(RegistryStoreTest, TwoStoresKeepEachOthersValues)
{
    RegistryStore other(StorePath());
    const std::uint32_t one = 1;
    const std::uint32_t two = 2;
    ASSERT_TRUE(store.CreateKey(kKey));
    ASSERT_TRUE(store.SetValue(kKey, "Mine", kRegDword, &one, 4));
    ASSERT_TRUE(other.SetValue(kKey, "Theirs", kRegDword, &two, 4));
    ASSERT_TRUE(store.SetValue(kKey, "Mine", kRegDword, &two, 4));
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(store.QueryValue(kKey, "Theirs", nullptr, &data));
    EXPECT_EQ(data, (std::vector<std::uint8_t>{2, 0, 0, 0}));
    ASSERT_TRUE(other.QueryValue(kKey, "Mine", nullptr, &data));
    EXPECT_EQ(data, (std::vector<std::uint8_t>{2, 0, 0, 0}));
}

// What a store sees of a file ("Skip" in key "A", -1 when absent) and
// whether it could then write to it.
struct Seen {
    std::int64_t skip = -1;
    RegistryStore::FileProblem problem = RegistryStore::FileProblem::kNone;
    bool wrote = false;
};

Seen Observe(const std::string& path)
{
    RegistryStore reader(path);
    Seen seen;
    std::vector<std::uint8_t> data;
    if (reader.QueryValue("A", "Skip", nullptr, &data) && data.size() == 4) {
        seen.skip = data[0];
    }
    seen.problem = reader.Problem();
    const std::uint32_t one = 1;
    seen.wrote = reader.CreateKey("A") && reader.SetValue("A", "Written", kRegDword, &one, 4);
    return seen;
}

// Observe in a child process that file permissions bind: root reads any
// file, so as root the child first becomes nobody. False when it cannot.
bool ObserveUnprivileged(const std::string& path, Seen* seen)
{
    int channel[2];
    if (pipe(channel) != 0) {
        return false;
    }
    const pid_t child = fork();
    if (child == 0) {
        const bool bound = geteuid() != 0 || (setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0);
        const Seen result = bound ? Observe(path) : Seen{};
        _exit(bound && write(channel[1], &result, sizeof result) == sizeof result ? 0 : 1);
    }
    close(channel[1]);
    const bool got = child > 0 && read(channel[0], seen, sizeof *seen) == sizeof *seen;
    close(channel[0]);
    return child > 0 && waitpid(child, nullptr, 0) == child && got;
}

// Whether every line of `before` but blank lines and comments stands in
// `after`, in the same order.
bool LinesKeptInOrder(const std::string& before, const std::string& after)
{
    std::istringstream original(before);
    std::istringstream rewritten(after);
    std::string line;
    for (std::string wanted; std::getline(original, wanted);) {
        while (!wanted.empty() && wanted.front() != '#' && line != wanted) {
            if (!std::getline(rewritten, line)) {
                return false;
            }
        }
    }
    return true;
}

std::string RandomBytes(std::size_t count)
{
    std::string bytes;
    for (std::uint32_t seed = 2024; bytes.size() < count;) {
        seed = seed * 1664525u + 1013904223u;
        bytes += static_cast<char>(seed >> 24);
    }
    return bytes;
}

// Settings are never lost without a word: what parses is used, what does not
// is kept where it stood, a file that cannot be read is left alone, and only
// a file with nothing recognisable is set aside.
TEST_F(RegistryStoreTest, SettingsSurviveWhatTheFileHolds)
{
    enum class After { kLinesKept, kLeftAlone, kKeptAside };
    struct Case {
        const char* what;
        std::string contents;
        After after;
        bool unreadable = false;
        std::size_t padTo = 0;
    };
    const std::string valid = "# Brelvix registry, format 1\n[A]\n\"Skip\" dword u32 7\n";
    const std::vector<Case> cases = {
        {"no permission", valid, After::kLeftAlone, true},
        {"larger than a store can be", valid, After::kLeftAlone, false, 17u << 20},
        {"a later version's value", valid + "\"Future\" qword u64 5\n", After::kLinesKept},
        {"a value before it", "# Brelvix registry, format 1\n[A]\n\"Dpi\" qword u64 5\n\"Skip\" dword u32 7\n",
         After::kLinesKept},
        {"no data", valid + "\"x\" dword u32\n", After::kLinesKept},
        {"too large a number", valid + "\"x\" dword u32 4294967296\n", After::kLinesKept},
        {"bad double", valid + "\"x\" dword f64 1.5x\n", After::kLinesKept},
        {"odd hex", valid + "\"x\" binary hex 0\n", After::kLinesKept},
        {"spaced hex", valid + "\"x\" binary hex 00  01\n", After::kLinesKept},
        {"open text", valid + "\"x\" sz \"open\n", After::kLinesKept},
        {"quote in text", valid + "\"x\" sz \"a\"b\"\n", After::kLinesKept},
        {"short escape", valid + "\"x\" sz \"%4\"\n", After::kLinesKept},
        {"unknown type word", valid + "\"x\" word u32 1\n", After::kLinesKept},
        {"no blank after the name", valid + "\"x\"dword u32 1\n", After::kLinesKept},
        {"a key that cannot be named", valid + "[A\\\\B]\n\"y\" dword u32 1\n", After::kLinesKept},
        {"a key line cut short", valid + "[A\n", After::kLinesKept},
        {"cut mid-line", valid + "\"Zoom\" dwo", After::kLinesKept},
        {"cut after a value", valid.substr(0, valid.size() - 1), After::kLinesKept},
        {"no header line", valid.substr(valid.find('[')), After::kLinesKept},
        {"random bytes", RandomBytes(4096), After::kKeptAside},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        TempDir scratch;
        const std::string path = scratch.Write("registry", test.contents);
        if (test.padTo > 0) {
            std::filesystem::resize_file(path, test.padTo);  // sparse: costs no disk
        }
        const std::string before = ReadText(path);
        Seen seen;
        if (test.unreadable) {
            ASSERT_EQ(chmod(path.c_str(), 0), 0);
            ASSERT_EQ(chmod(scratch.Path().c_str(), 0777), 0);
            const bool observed = ObserveUnprivileged(path, &seen);
            ASSERT_EQ(chmod(path.c_str(), 0600), 0);
            if (!observed) {
                std::cout << "[  SKIPPED ] " << test.what << ": cannot run a process that permissions bind\n";
                continue;
            }
        } else {
            seen = Observe(path);
        }

        const std::vector<std::string> names = ListFolder(scratch.Path());
        const std::string after = ReadText(path);
        switch (test.after) {
            case After::kLeftAlone:
                EXPECT_EQ(seen.skip, -1);
                EXPECT_EQ(seen.problem, RegistryStore::FileProblem::kUnreadable);
                EXPECT_FALSE(seen.wrote);
                EXPECT_EQ(names, std::vector<std::string>{"registry"});
                EXPECT_TRUE(after == before);
                break;
            case After::kKeptAside:
                EXPECT_EQ(seen.skip, -1);
                EXPECT_EQ(seen.problem, RegistryStore::FileProblem::kKeptAside);
                EXPECT_TRUE(seen.wrote);
                ASSERT_EQ(names.size(), 2u);
                EXPECT_EQ(ReadText(scratch.Path() / names[1]), before);
                break;
            case After::kLinesKept: {
                EXPECT_EQ(seen.skip, 7);
                EXPECT_EQ(seen.problem, RegistryStore::FileProblem::kNone);
                EXPECT_TRUE(seen.wrote);
                EXPECT_EQ(names, std::vector<std::string>{"registry"});
                EXPECT_TRUE(LinesKeptInOrder(before, after)) << after;
                // Both values read back: none was taken into a line kept.
                RegistryStore again(path);
                EXPECT_TRUE(again.QueryValue("A", "Written", nullptr, nullptr)) << after;
                EXPECT_TRUE(again.QueryValue("A", "Skip", nullptr, nullptr)) << after;
                break;
            }
        }
    }
}

TEST_F(RegistryStoreTest, StaleTemporaryFilesGoAtTheNextWrite)
{
    ASSERT_TRUE(store.CreateKey("A"));
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::minutes(2);
    const struct {
        const char* name;
        bool old;
        bool stays;
    } files[] = {
        {"registry.tmp-a1B2c3", true, false},  // an earlier version's, killed while writing
        {"registry.QwErTy", true, false},      // QSaveFile's
        {"registry.AbCdEf", false, true},      // being written right now, maybe
        {"registry.backup", true, true},       // the user's own
        {"registry.BACKUP", true, true},      {"registry.corrupt-20240101-101010", true, true},
        {"other.QwErTy", true, true},
    };
    for (const auto& file : files) {
        const std::string path = folder.Write(std::string("brelvix/") + file.name, "x");
        if (file.old) {
            std::filesystem::last_write_time(path, old);
        }
    }
    const std::uint32_t one = 1;
    ASSERT_TRUE(store.SetValue("A", "V", kRegDword, &one, 4));
    for (const auto& file : files) {
        EXPECT_EQ(std::filesystem::exists(folder.Path() / "brelvix" / file.name), file.stays) << file.name;
    }
}

// Queries answer from the file as last read; a change made in place by an
// editor (same inode, same size) must still be seen by the next one.
TEST_F(RegistryStoreTest, EditsInPlaceAreSeenByTheNextQuery)
{
    std::filesystem::create_directories(folder.Path() / "brelvix");
    const std::string header = "# Brelvix registry, format 1\n[A]\n";
    folder.Write("brelvix/registry", header + "\"V\" dword u32 1\n");
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(store.QueryValue("A", "V", nullptr, &data));
    EXPECT_EQ(data, DwordBytes(1));
    const auto start = std::filesystem::last_write_time(StorePath());
    for (std::uint32_t number = 2; number <= 4; ++number) {
        std::fstream file(StorePath(), std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(static_cast<std::streamoff>(header.size()));
        file << "\"V\" dword u32 " << number << "\n";
        file.close();
        // As an edit a moment later would: on kernels whose file times move
        // in clock ticks, edits this fast could otherwise share one time.
        std::filesystem::last_write_time(StorePath(), start + std::chrono::seconds(number));
        ASSERT_TRUE(store.QueryValue("A", "V", nullptr, &data));
        EXPECT_EQ(data, DwordBytes(number));
    }
}

// Processes writing at the same time: every read-change-replace cycle must see
// the others' results, or values go missing.
TEST_F(RegistryStoreTest, ConcurrentWritersLoseNothing)
{
    ASSERT_TRUE(store.CreateKey(kKey));
    constexpr int kWriters = 4;
    constexpr int kValuesEach = 25;
    std::vector<pid_t> children;
    for (int writer = 0; writer < kWriters; ++writer) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            RegistryStore mine(StorePath());
            bool ok = true;
            for (int i = 0; i < kValuesEach; ++i) {
                const std::uint32_t number = static_cast<std::uint32_t>(writer * 1000 + i);
                ok = mine.SetValue(kKey, "W" + std::to_string(number), kRegDword, &number, 4) && ok;
            }
            _exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int writer = 0; writer < kWriters; ++writer) {
        for (int i = 0; i < kValuesEach; ++i) {
            const std::uint32_t number = static_cast<std::uint32_t>(writer * 1000 + i);
            std::vector<std::uint8_t> data;
            ASSERT_TRUE(store.QueryValue(kKey, "W" + std::to_string(number), nullptr, &data)) << number;
            EXPECT_EQ(data, DwordBytes(number));
        }
    }
    EXPECT_EQ(ListFolder(folder.Path() / "brelvix"), std::vector<std::string>{"registry"});
}

TEST_F(RegistryStoreTest, GroupedChangesLandInOneReplacement)
{
    RegistryStore other(StorePath());
    ASSERT_TRUE(other.CreateKey("Other"));
    const auto written = std::filesystem::last_write_time(StorePath());
    const std::uint32_t one = 1;
    const double delay = 7.5;

    store.BeginChanges();
    ASSERT_TRUE(store.CreateKey(kKey));
    ASSERT_TRUE(store.SetValue(kKey, "ZoomToBestFit", kRegDword, &one, 4));
    ASSERT_TRUE(store.SetValue(kKey, "SlideShowDelay", kRegDword, &delay, 8));
    EXPECT_FALSE(store.SetValue(kKey + "\\Missing", "X", kRegDword, &one, 4));
    // Pending changes are visible to this store only.
    EXPECT_TRUE(store.QueryValue(kKey, "ZoomToBestFit", nullptr, nullptr));
    EXPECT_FALSE(other.KeyExists(kKey));
    EXPECT_EQ(std::filesystem::last_write_time(StorePath()), written);
    // Someone else's change made meanwhile survives the commit.
    ASSERT_TRUE(other.SetValue("Other", "Theirs", kRegDword, &one, 4));

    EXPECT_TRUE(store.CommitChanges());
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(other.QueryValue(kKey, "SlideShowDelay", nullptr, &data));
    EXPECT_EQ(data, DoubleBytes(std::bit_cast<std::uint64_t>(delay)));
    EXPECT_TRUE(other.QueryValue("Other", "Theirs", nullptr, nullptr));
    EXPECT_EQ(ListFolder(folder.Path() / "brelvix"), std::vector<std::string>{"registry"});
}

TEST_F(RegistryStoreTest, PendingChangesAreCommittedWhenTheStoreGoes)
{
    ASSERT_TRUE(store.CreateKey(kKey));
    {
        RegistryStore local(StorePath());
        local.BeginChanges();
        ASSERT_TRUE(local.SetValue(kKey, "ShowToolbar", kRegDword, "\1\0\0\0", 4));
        EXPECT_FALSE(store.QueryValue(kKey, "ShowToolbar", nullptr, nullptr));
    }
    EXPECT_TRUE(store.QueryValue(kKey, "ShowToolbar", nullptr, nullptr));
}

TEST(RegistryStoreDefaultPath, FollowsTheConfigFolder)
{
    {
        ScopedEnv config("XDG_CONFIG_HOME", "/xdg/config");
        EXPECT_EQ(RegistryStore::DefaultPath(), "/xdg/config/brelvix/registry");
    }
    ScopedEnv home("HOME", "/home/someone");
    ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(RegistryStore::DefaultPath(), "/home/someone/.config/brelvix/registry");
}

}  // namespace

}  // namespace brelvix::platform
