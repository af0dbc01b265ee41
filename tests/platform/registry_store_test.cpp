#include "platform/registry_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <cstring>
#include <fstream>

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

TEST_F(RegistryStoreTest, DeleteValueRemovesOnlyThatValue)
{
    const std::uint32_t one = 1;
    ASSERT_TRUE(store.CreateKey(kKey));
    ASSERT_TRUE(store.SetValue(kKey, "A", kRegDword, &one, 4));
    ASSERT_TRUE(store.SetValue(kKey, "B", kRegDword, &one, 4));
    EXPECT_TRUE(store.DeleteValue(kKey, "a"));
    EXPECT_FALSE(store.DeleteValue(kKey, "a"));
    EXPECT_FALSE(store.QueryValue(kKey, "A", nullptr, nullptr));
    EXPECT_TRUE(store.QueryValue(kKey, "B", nullptr, nullptr));
}

// Contents that must read as an empty store and be kept aside untouched.
TEST_F(RegistryStoreTest, DamagedFilesAreKeptAsideAndTheNextWriteStartsAfresh)
{
    const std::vector<std::string> damaged = {
        "garbage\n",
        std::string("\0\0\0\xFF", 4),
        "[HKEY_CURRENT_USER\\SOFTWARE]\n",  // no header line
        "# Brelvix registry, format 2\n",   // a later format
        "# Brelvix registry, format 1\n\"NoKey\" dword u32 1\n",
        "# Brelvix registry, format 1\n[A]\n\"Trunc",
        "# Brelvix registry, format 1\n[A]\n\"x\" dword u32\n",
        "# Brelvix registry, format 1\n[A]\n\"x\" dword u32 4294967296\n",
        "# Brelvix registry, format 1\n[A]\n\"x\" dword f64 1.5x\n",
        "# Brelvix registry, format 1\n[A]\n\"x\" binary hex 0\n",
        "# Brelvix registry, format 1\n[A]\n\"x\" binary hex 00  01\n",
        "# Brelvix registry, format 1\n[A]\n\"x\" sz \"open\n",
        "# Brelvix registry, format 1\n[A]\n\"x\" sz \"a\"b\"\n",
        "# Brelvix registry, format 1\n[A]\n\"x\" sz \"%4\"\n",
        "# Brelvix registry, format 1\n[A]\n\"x\" word u32 1\n",
        "# Brelvix registry, format 1\n[A]\n\"x\"dword u32 1\n",
        "# Brelvix registry, format 1\n[A\\\\B]\n",
        "# Brelvix registry, format 1\n[A\n",
        "# Brelvix registry, format 1\n[]\n",
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

TEST_F(RegistryStoreTest, OversizedFileIsKeptAside)
{
    std::filesystem::create_directories(folder.Path() / "brelvix");
    folder.Write("brelvix/registry", "# Brelvix registry, format 1\n[A]\n");
    std::filesystem::resize_file(StorePath(), 17u << 20);  // sparse: costs no disk
    EXPECT_FALSE(store.KeyExists("A"));
    EXPECT_EQ(ListFolder(folder.Path() / "brelvix").size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(StorePath()));
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
