#include "platform/mime_associations.h"

#include <glib.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

#include "platform/xdg.h"

namespace brelvix::platform {

namespace {

// mimeapps.list files are small; anything larger is not one and is not read
// into memory.
constexpr goffset kMimeAppsLimit = 4 * 1024 * 1024;

constexpr char kDefaultGroup[] = "Default Applications";
constexpr char kAddedGroup[] = "Added Associations";
constexpr char kRemovedGroup[] = "Removed Associations";
constexpr char kEntryGroup[] = "Desktop Entry";

struct GFreeDeleter {
    void operator()(void* pointer) const { g_free(pointer); }
};
using GText = std::unique_ptr<char, GFreeDeleter>;
using KeyFile = std::unique_ptr<GKeyFile, decltype(&g_key_file_free)>;

struct ErrorHolder {
    GError* error = nullptr;
    ~ErrorHolder()
    {
        if (error != nullptr) {
            g_error_free(error);
        }
    }
    std::string Message() const { return error != nullptr ? error->message : "unknown error"; }
};

KeyFile NewKeyFile()
{
    return KeyFile(g_key_file_new(), &g_key_file_free);
}

std::string Trim(std::string_view text)
{
    std::size_t start = 0;
    std::size_t end = text.size();
    while (start < end && (text[start] == ' ' || text[start] == '\t')) {
        ++start;
    }
    while (end > start && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r')) {
        --end;
    }
    return std::string(text.substr(start, end - start));
}

// One line of a key file, classified once.
struct Line {
    enum Kind { kOther, kGroup, kEntry };
    std::string text;
    Kind kind = kOther;
    std::string name;  // the group's name, or the entry's key
};

Line Classify(std::string text)
{
    Line line;
    const std::string trimmed = Trim(text);
    if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
        line.kind = Line::kGroup;
        line.name = trimmed.substr(1, trimmed.size() - 2);
    } else if (!trimmed.empty() && trimmed.front() != '#') {
        const std::size_t equals = trimmed.find('=');
        if (equals != std::string::npos) {
            line.kind = Line::kEntry;
            line.name = Trim(std::string_view(trimmed).substr(0, equals));
        }
    }
    line.text = std::move(text);
    return line;
}

std::string ValueOf(const Line& line)
{
    return Trim(std::string_view(line.text).substr(line.text.find('=') + 1));
}

std::vector<std::string> SplitList(const std::string& value)
{
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t end = value.find(';', start);
        if (end == std::string::npos) {
            end = value.size();
        }
        std::string item = Trim(std::string_view(value).substr(start, end - start));
        if (!item.empty()) {
            items.push_back(std::move(item));
        }
        start = end + 1;
    }
    return items;
}

std::string JoinList(const std::vector<std::string>& items)
{
    std::string value;
    for (const std::string& item : items) {
        value += item + ';';
    }
    return value;
}

// What a change makes of one entry's line.
struct Change {
    enum Action { kKeep, kSet, kErase } action = kKeep;
    std::string value;
};
// Receives the entry's current value, or null when it has none.
using ChangeFunction = std::function<Change(const std::string*)>;

class KeyFileLines {
public:
    explicit KeyFileLines(std::string_view text)
    {
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string_view::npos) {
                end = text.size();
            }
            lines.push_back(Classify(std::string(text.substr(start, end - start))));
            start = end + 1;
        }
    }

    std::string Text() const
    {
        std::string text;
        for (const Line& line : lines) {
            text += line.text;
            text += '\n';
        }
        return text;
    }

    // Applies `change` to every entry named `key` in `group`; when there is
    // none, asks `change` what to add and adds it at the end of the group's
    // last occurrence (or of a new group at the end of the file).
    void Edit(const std::string& group, const std::string& key, const ChangeFunction& change)
    {
        bool found = false;
        std::string current;
        for (std::size_t i = 0; i < lines.size();) {
            const Line& line = lines[i];
            if (line.kind == Line::kGroup) {
                current = line.name;
            }
            if (line.kind != Line::kEntry || current != group || line.name != key) {
                ++i;
                continue;
            }
            found = true;
            const std::string value = ValueOf(line);
            const Change result = change(&value);
            if (result.action == Change::kErase) {
                lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
                continue;
            }
            if (result.action == Change::kSet) {
                lines[i] = Classify(key + '=' + result.value);
            }
            ++i;
        }
        if (found) {
            return;
        }
        const Change result = change(nullptr);
        if (result.action != Change::kSet) {
            return;
        }
        Insert(group, Classify(key + '=' + result.value));
    }

private:
    void Insert(const std::string& group, Line entry)
    {
        // After the last entry of the group's last occurrence, so that the
        // comments and blank lines that end a section stay where they are.
        std::size_t position = lines.size();
        bool inGroup = false;
        bool groupFound = false;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].kind == Line::kGroup) {
                inGroup = lines[i].name == group;
                if (inGroup) {
                    groupFound = true;
                    position = i + 1;
                }
            } else if (inGroup && lines[i].kind == Line::kEntry) {
                position = i + 1;
            }
        }
        if (!groupFound) {
            if (!lines.empty() && !Trim(lines.back().text).empty()) {
                lines.push_back(Classify(std::string()));
            }
            lines.push_back(Classify('[' + group + ']'));
            position = lines.size();
        }
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(position), std::move(entry));
    }

    std::vector<Line> lines;
};

bool IsReadableKeyFile(std::string_view text)
{
    if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
        return false;
    }
    const KeyFile keyFile = NewKeyFile();
    return g_key_file_load_from_data(keyFile.get(), text.data(), text.size(), G_KEY_FILE_NONE, nullptr);
}

std::string Join(const std::string& folder, const char* name)
{
    return folder + "/" + name;
}

bool SameFile(const std::string& first, const std::string& second)
{
    struct stat a {};
    struct stat b {};
    return stat(first.c_str(), &a) == 0 && stat(second.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

// The program an installed desktop entry starts, resolved through $PATH;
// empty when the entry cannot be read.
std::string ProgramOfEntry(const std::string& entryPath)
{
    const KeyFile keyFile = NewKeyFile();
    if (!g_key_file_load_from_file(keyFile.get(), entryPath.c_str(), G_KEY_FILE_NONE, nullptr)) {
        return std::string();
    }
    const GText exec(g_key_file_get_string(keyFile.get(), kEntryGroup, "Exec", nullptr));
    if (exec == nullptr) {
        return std::string();
    }
    int argc = 0;
    char** argv = nullptr;
    if (!g_shell_parse_argv(exec.get(), &argc, &argv, nullptr)) {
        return std::string();
    }
    const GText program(argc > 0 ? g_find_program_in_path(argv[0]) : nullptr);
    g_strfreev(argv);
    return program != nullptr ? std::string(program.get()) : std::string();
}

AssociationResult Failure(const std::string& file, const std::string& message)
{
    return AssociationResult{false, file, message};
}

// The desktop entry the association names: the installed one when it
// starts this program and the user has none of their own, else the user's,
// written now.
AssociationResult EnsureDesktopEntry(const std::string& programPath, const std::string& entryTemplate,
                                     const DesktopFolders& folders)
{
    const std::string applications = folders.dataHome + "/applications";
    const std::string userEntry = Join(applications, kDesktopId);
    const bool userEntryExists = g_file_test(userEntry.c_str(), G_FILE_TEST_EXISTS);
    if (!userEntryExists) {
        for (const std::string& folder : folders.dataDirs) {
            const std::string installed = folder + "/applications/" + kDesktopId;
            if (g_file_test(installed.c_str(), G_FILE_TEST_IS_REGULAR) &&
                SameFile(ProgramOfEntry(installed), programPath)) {
                return AssociationResult{};
            }
        }
    }

    if (!g_utf8_validate(programPath.data(), static_cast<gssize>(programPath.size()), nullptr)) {
        return Failure(userEntry,
                       "The program's path " + programPath + " is not UTF-8 text, so no desktop entry can name it.");
    }
    const KeyFile keyFile = NewKeyFile();
    ErrorHolder error;
    if (!g_key_file_load_from_data(keyFile.get(), entryTemplate.data(), entryTemplate.size(),
                                   static_cast<GKeyFileFlags>(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS),
                                   &error.error)) {
        return Failure(userEntry, "The desktop entry template cannot be read: " + error.Message());
    }
    g_key_file_set_string(keyFile.get(), kEntryGroup, "Exec", DesktopExecLine(programPath).c_str());
    gsize length = 0;
    const GText data(g_key_file_to_data(keyFile.get(), &length, nullptr));

    if (g_mkdir_with_parents(applications.c_str(), 0700) != 0) {
        return Failure(applications, "The folder " + applications + " cannot be created: " + std::strerror(errno));
    }
    if (!g_file_set_contents_full(userEntry.c_str(), data.get(), static_cast<gssize>(length),
                                  G_FILE_SET_CONTENTS_CONSISTENT, 0644, &error.error)) {
        return Failure(userEntry, "The desktop entry " + userEntry + " cannot be written: " + error.Message());
    }
    return AssociationResult{};
}

AssociationResult UpdateMimeAppsList(const std::vector<std::string>& mimeTypes, const DesktopFolders& folders)
{
    const std::string path = Join(folders.configHome, "mimeapps.list");
    std::string text;
    int mode = 0600;
    struct stat status {};
    if (stat(path.c_str(), &status) == 0) {
        if (!S_ISREG(status.st_mode)) {
            return Failure(path, path + " is not a regular file; it was left as it was.");
        }
        if (status.st_size > kMimeAppsLimit) {
            return Failure(path, path + " is too large to be a list of applications; it was left as it was.");
        }
        mode = static_cast<int>(status.st_mode & 07777);
        gchar* contents = nullptr;
        gsize length = 0;
        ErrorHolder error;
        if (!g_file_get_contents(path.c_str(), &contents, &length, &error.error)) {
            return Failure(path, path + " cannot be read: " + error.Message());
        }
        text.assign(contents, length);
        g_free(contents);
    } else if (errno != ENOENT) {
        return Failure(path, path + " cannot be read: " + std::strerror(errno));
    }

    const std::optional<std::string> edited = SetDefaultApplication(text, mimeTypes, kDesktopId);
    if (!edited) {
        return Failure(path, path + " is not a valid list of applications; it was left as it was.");
    }
    if (g_mkdir_with_parents(folders.configHome.c_str(), 0700) != 0) {
        return Failure(folders.configHome,
                       "The folder " + folders.configHome + " cannot be created: " + std::strerror(errno));
    }
    ErrorHolder error;
    if (!g_file_set_contents_full(path.c_str(), edited->data(), static_cast<gssize>(edited->size()),
                                  G_FILE_SET_CONTENTS_CONSISTENT, mode, &error.error)) {
        return Failure(path, path + " cannot be written: " + error.Message());
    }
    return AssociationResult{};
}

// Lets the desktop's caches of applications see the user's entries.
void AnnounceApplications(const DesktopFolders& folders)
{
    const std::string applications = folders.dataHome + "/applications";
    const GText tool(g_find_program_in_path("update-desktop-database"));
    if (tool == nullptr || !g_file_test(applications.c_str(), G_FILE_TEST_IS_DIR)) {
        return;
    }
    char* argv[] = {tool.get(), const_cast<char*>(applications.c_str()), nullptr};
    // Its outcome changes nothing for the association just written.
    g_spawn_sync(nullptr, argv, nullptr,
                 static_cast<GSpawnFlags>(G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL), nullptr, nullptr,
                 nullptr, nullptr, nullptr, nullptr);
}

}  // namespace

DesktopFolders DesktopFolders::FromEnvironment()
{
    // GLib's own folder functions keep their first answer for the whole run;
    // these read the environment at each call.
    DesktopFolders folders;
    folders.configHome = XdgConfigHome();
    folders.dataHome = XdgDataHome();
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::string list = dirs != nullptr && dirs[0] != '\0' ? dirs : "/usr/local/share:/usr/share";
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(':', start);
        if (end == std::string::npos) {
            end = list.size();
        }
        if (end > start && list[start] == '/') {
            folders.dataDirs.push_back(list.substr(start, end - start));
        }
        start = end + 1;
    }
    return folders;
}

std::optional<std::string> SetDefaultApplication(std::string_view text, const std::vector<std::string>& mimeTypes,
                                                 const std::string& desktopId)
{
    if (!IsReadableKeyFile(text)) {
        return std::nullopt;
    }
    KeyFileLines lines(text);
    for (const std::string& type : mimeTypes) {
        lines.Edit(kDefaultGroup, type, [&](const std::string*) { return Change{Change::kSet, desktopId}; });
        lines.Edit(kAddedGroup, type, [&](const std::string* value) {
            std::vector<std::string> items = value != nullptr ? SplitList(*value) : std::vector<std::string>();
            std::erase(items, desktopId);
            items.insert(items.begin(), desktopId);
            return Change{Change::kSet, JoinList(items)};
        });
        lines.Edit(kRemovedGroup, type, [&](const std::string* value) {
            if (value == nullptr) {
                return Change{};
            }
            std::vector<std::string> items = SplitList(*value);
            if (std::erase(items, desktopId) == 0) {
                return Change{};
            }
            return items.empty() ? Change{Change::kErase, {}} : Change{Change::kSet, JoinList(items)};
        });
    }
    return lines.Text();
}

std::string DesktopExecLine(const std::string& programPath)
{
    static constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string argument;
    for (char c : programPath) {
        // '%' starts a field code anywhere in the line.
        if (c == '%') {
            argument += "%%";
            continue;
        }
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            argument += '\\';
        }
        argument += c;
    }
    const bool quote = programPath.find_first_of(kReserved) != std::string::npos;
    return (quote ? '"' + argument + '"' : argument) + " %f";
}

AssociationResult SetAsDefaultApplication(const std::vector<std::string>& mimeTypes, const std::string& programPath,
                                          const std::string& entryTemplate, const DesktopFolders& folders)
{
    if (folders.configHome.empty() || folders.dataHome.empty()) {
        return Failure("mimeapps.list", "There is no home folder to keep the file associations in.");
    }
    AssociationResult result = EnsureDesktopEntry(programPath, entryTemplate, folders);
    if (!result.ok) {
        return result;
    }
    result = UpdateMimeAppsList(mimeTypes, folders);
    AnnounceApplications(folders);
    return result;
}

}  // namespace brelvix::platform
