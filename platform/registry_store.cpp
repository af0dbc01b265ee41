#include "platform/registry_store.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>
#include <QtEndian>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <functional>
#include <map>
#include <string_view>

#include "platform/ascii.h"
#include "platform/file_system.h"
#include "platform/file_util.h"
#include "platform/xdg.h"

namespace brelvix::platform {

namespace {

// The first line of every store file. A file that starts otherwise (another
// program's file, a later format, garbage) is treated as damaged.
constexpr std::string_view kMagicLine = "# Brelvix registry, format 1";

constexpr std::string_view kFileComment =
    "#\n"
    "# Lines are [key path] or \"value name\" TYPE DATA. TYPE is none, sz, expand_sz,\n"
    "# binary, dword or a type number; DATA is \"text\", u32 N, f64 X or hex HH HH...,\n"
    "# and is left out when the value has no bytes. In key paths, value names and\n"
    "# text, %XX stands for the byte with hex code XX.\n";

// Settings are a few hundred bytes; a file far larger is not ours, and
// reading it all would only waste memory: it is not read, nor replaced.
constexpr qint64 kMaxFileBytes = 16 << 20;

struct Value {
    std::string name;  // as first written
    std::uint32_t type = kRegNone;
    std::vector<std::uint8_t> data;
};

// A key that was created or holds values. Keys above it exist implicitly, so
// that memory and time stay proportional to the file, however deep its paths.
struct Key {
    std::string path;                     // as first created
    std::map<std::string, Value> values;  // by case-folded name
    // Lines this program does not understand (a later version's value, a
    // hand edit, a line cut short), kept byte for byte and written back where
    // they stood: after the value line with this case-folded name, or after
    // the key line for "". In file order for each place.
    std::multimap<std::string, std::string> unknown;
    // A key line not understood and the lines under it, which belong to a
    // key this program cannot name; they end the key, so that no value
    // written later falls under them.
    std::vector<std::string> trailing;
};

// Keys by case-folded path. A parent sorts before its children, so the file
// reads top-down. The key "" (no valid path is empty) holds the lines met
// before the first key line.
using KeyTree = std::map<std::string, Key>;

// A key path is one or more components separated by single backslashes.
bool ValidKeyPath(std::string_view path)
{
    if (path.empty() || path.front() == '\\' || path.back() == '\\') {
        return false;
    }
    return path.find("\\\\") == std::string_view::npos;
}

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The first key below `folded`, or end.
template <typename Tree>
auto FirstDescendant(Tree& tree, const std::string& folded)
{
    const std::string prefix = folded + '\\';
    const auto found = tree.lower_bound(prefix);
    return found != tree.end() && StartsWith(found->first, prefix) ? found : tree.end();
}

bool KeyExistsIn(const KeyTree& tree, const std::string& path)
{
    const std::string folded = AsciiLowered(path);
    return tree.count(folded) != 0 || FirstDescendant(tree, folded) != tree.end();
}

// The key's own entry, made when the key exists only as the parent of others
// (spelled as they spell it); null when the key does not exist.
Key* KeyEntry(KeyTree& tree, const std::string& path)
{
    const std::string folded = AsciiLowered(path);
    if (const auto found = tree.find(folded); found != tree.end()) {
        return &found->second;
    }
    const auto child = FirstDescendant(tree, folded);
    if (child == tree.end()) {
        return nullptr;
    }
    Key& key = tree[folded];
    key.path = child->second.path.substr(0, path.size());
    return &key;
}

// ---- text form ----

// Length of the well-formed UTF-8 sequence at text[i], or 0 when the bytes
// there are not one (overlong forms, surrogates and code points past
// U+10FFFF included).
size_t Utf8SequenceLength(std::string_view text, size_t i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || text.size() - i < length) {
        return 0;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder(QByteArrayView(text.data() + i, static_cast<qsizetype>(length)));
    return decoder.hasError() ? 0 : length;
}

// Text as it stands in the file: readable UTF-8 stays, and '%', '"', control
// characters and bytes that are not UTF-8 become %XX, so that a line break
// in a value can never break the line structure.
std::string Escape(std::string_view text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const size_t length = Utf8SequenceLength(text, i);
            if (length > 0) {
                out.append(text.substr(i, length));
                i += length;
                continue;
            }
        } else if (c >= 0x20 && c != 0x7F && c != '%' && c != '"') {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        out += '%';
        out += kHex[c >> 4];
        out += kHex[c & 15];
        ++i;
    }
    return out;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

bool Unescape(std::string_view text, std::string* out)
{
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            *out += text[i];
            continue;
        }
        if (text.size() - i < 3) {
            return false;
        }
        const int high = HexDigit(text[i + 1]);
        const int low = HexDigit(text[i + 2]);
        if (high < 0 || low < 0) {
            return false;
        }
        *out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

struct TypeName {
    std::uint32_t type;
    std::string_view name;
};

constexpr TypeName kTypeNames[] = {
    {kRegNone, "none"}, {kRegSz, "sz"}, {kRegExpandSz, "expand_sz"}, {kRegBinary, "binary"}, {kRegDword, "dword"},
};

std::string TypeToText(std::uint32_t type)
{
    for (const TypeName& entry : kTypeNames) {
        if (entry.type == type) {
            return std::string(entry.name);
        }
    }
    return std::to_string(type);
}

bool TypeFromText(std::string_view text, std::uint32_t* type)
{
    for (const TypeName& entry : kTypeNames) {
        if (entry.name == text) {
            *type = entry.type;
            return true;
        }
    }
    if (text.empty() || text[0] < '0' || text[0] > '9') {
        return false;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *type);
    return error == std::errc() && end == text.data() + text.size();
}

// Numbers are stored little-endian whatever the machine.
template <typename Number>
void SetLittleEndian(Number number, std::vector<std::uint8_t>* data)
{
    data->resize(sizeof number);
    qToLittleEndian(number, data->data());
}

std::string DataToText(const Value& value)
{
    const std::vector<std::uint8_t>& data = value.data;
    if (data.empty()) {
        return {};
    }
    if (value.type == kRegSz || value.type == kRegExpandSz) {
        return " \"" + Escape(std::string_view(reinterpret_cast<const char*>(data.data()), data.size())) + '"';
    }
    if (value.type == kRegDword && data.size() == 4) {
        return " u32 " + std::to_string(qFromLittleEndian<std::uint32_t>(data.data()));
    }
    if (value.type == kRegDword && data.size() == 8) {
        // A double stored under the dword tag. The shortest form that reads
        // back to the same bits; NaNs and infinities keep their exact bits in hex.
        const double number = std::bit_cast<double>(qFromLittleEndian<std::uint64_t>(data.data()));
        if (std::isfinite(number)) {
            char buffer[64];
            const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, number);
            if (error == std::errc()) {
                return " f64 " + std::string(buffer, end);
            }
        }
    }
    static const char kHex[] = "0123456789ABCDEF";
    std::string text = " hex";
    for (std::uint8_t byte : data) {
        text += ' ';
        text += kHex[byte >> 4];
        text += kHex[byte & 15];
    }
    return text;
}

bool DataFromText(std::string_view text, std::vector<std::uint8_t>* data)
{
    data->clear();
    if (text.empty()) {
        return true;
    }
    if (text.front() == '"') {
        if (text.size() < 2 || text.back() != '"') {
            return false;
        }
        const std::string_view inner = text.substr(1, text.size() - 2);
        if (inner.find('"') != std::string_view::npos) {
            return false;
        }
        std::string bytes;
        if (!Unescape(inner, &bytes)) {
            return false;
        }
        data->assign(bytes.begin(), bytes.end());
        return true;
    }
    const size_t space = text.find(' ');
    const std::string_view form = text.substr(0, space);
    const std::string_view rest = space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
    const char* const first = rest.data();
    const char* const last = rest.data() + rest.size();
    if (form == "u32") {
        std::uint32_t number = 0;
        const auto [end, error] = std::from_chars(first, last, number);
        if (rest.empty() || error != std::errc() || end != last) {
            return false;
        }
        SetLittleEndian(number, data);
        return true;
    }
    if (form == "f64") {
        double number = 0;
        const auto [end, error] = std::from_chars(first, last, number);
        if (rest.empty() || error != std::errc() || end != last) {
            return false;
        }
        SetLittleEndian(std::bit_cast<std::uint64_t>(number), data);
        return true;
    }
    if (form == "hex") {
        if (space == std::string_view::npos) {
            return true;
        }
        // Pairs of digits separated by single blanks.
        if (rest.size() % 3 != 2) {
            return false;
        }
        for (size_t i = 0; i < rest.size(); i += 3) {
            const int high = HexDigit(rest[i]);
            const int low = HexDigit(rest[i + 1]);
            if (high < 0 || low < 0 || (i + 2 < rest.size() && rest[i + 2] != ' ')) {
                return false;
            }
            data->push_back(static_cast<std::uint8_t>(high * 16 + low));
        }
        return true;
    }
    return false;
}

void AppendUnknown(const Key& key, const std::string& place, std::string* text)
{
    const auto [first, last] = key.unknown.equal_range(place);
    for (auto line = first; line != last; ++line) {
        *text += line->second + '\n';
    }
}

std::string Serialize(const KeyTree& tree)
{
    std::string text = std::string(kMagicLine) + '\n' + std::string(kFileComment);
    for (const auto& [folded, key] : tree) {
        if (!folded.empty()) {
            text += "\n[" + Escape(key.path) + "]\n";
        }
        AppendUnknown(key, "", &text);
        for (const auto& [foldedName, value] : key.values) {
            text += '"' + Escape(value.name) + "\" " + TypeToText(value.type) + DataToText(value) + '\n';
            AppendUnknown(key, foldedName, &text);
        }
        // Those that followed a value since removed end the key.
        for (const auto& [place, line] : key.unknown) {
            if (!place.empty() && key.values.count(place) == 0) {
                text += line + '\n';
            }
        }
        for (const std::string& line : key.trailing) {
            text += line + '\n';
        }
    }
    return text;
}

// A key line: "[path]" with a valid path.
bool ParseKeyLine(std::string_view line, std::string* path)
{
    return line.size() >= 2 && line.front() == '[' && line.back() == ']' &&
           Unescape(line.substr(1, line.size() - 2), path) && ValidKeyPath(*path);
}

// A value line: "name" TYPE [DATA].
bool ParseValueLine(std::string_view line, Value* value)
{
    const size_t close = line.find('"', 1);
    if (line.empty() || line.front() != '"' || close == std::string_view::npos || close + 1 >= line.size() ||
        line[close + 1] != ' ' || !Unescape(line.substr(1, close - 1), &value->name)) {
        return false;
    }
    const std::string_view rest = line.substr(close + 2);
    const size_t space = rest.find(' ');
    return TypeFromText(rest.substr(0, space), &value->type) &&
           (space == std::string_view::npos || DataFromText(rest.substr(space + 1), &value->data));
}

// Reads the file line by line. A line that is not understood is kept (see
// Key::unknown and Key::trailing). A last line without its line break counts
// like any other. Returns whether anything was recognised: the header line,
// a key or a value.
bool Parse(std::string_view text, KeyTree* tree)
{
    tree->clear();
    Key* const head = &(*tree)[""];
    Key* current = head;
    std::string place;  // where an unknown line met now goes back
    bool unknownKey = false;
    bool recognised = false;
    for (size_t position = 0; position < text.size();) {
        size_t end = text.find('\n', position);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view raw = text.substr(position, end - position);
        std::string_view line = raw;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);  // edited on another system
        }
        const bool first = position == 0;
        position = end + 1;
        if (first && line == kMagicLine) {
            recognised = true;
            continue;
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        std::string path;
        Value value;
        if (ParseKeyLine(line, &path)) {
            current = &(*tree)[AsciiLowered(path)];
            if (current->path.empty()) {
                current->path = path;
            }
            place.clear();
            unknownKey = false;
            recognised = true;
        } else if (current != head && !unknownKey && ParseValueLine(line, &value)) {
            // A name repeated by hand: the last line wins.
            place = AsciiLowered(value.name);
            current->values[place] = std::move(value);
            recognised = true;
        } else if (unknownKey || line.front() == '[') {
            unknownKey = true;
            current->trailing.emplace_back(raw);
        } else {
            current->unknown.emplace(place, raw);
        }
    }
    return recognised;
}

// ---- the file ----

enum class LoadState {
    kMissing,
    kLoaded,
    kDamaged,     // nothing in it is recognisable: kept aside
    kUnreadable,  // no permission, or far too large: left alone, never replaced
};

LoadState Load(const std::string& path, KeyTree* tree)
{
    tree->clear();
    QFile file(QFile::decodeName(path.c_str()));
    const QFileInfo info(file);
    if (!info.exists()) {
        return LoadState::kMissing;
    }
    // Only a regular file is opened: a pipe in its place would block.
    if (!info.isFile()) {
        return LoadState::kDamaged;
    }
    if (info.size() > kMaxFileBytes || !file.open(QIODevice::ReadOnly)) {
        return LoadState::kUnreadable;
    }
    const QByteArray text = file.readAll();
    if (text.isEmpty()) {
        return LoadState::kMissing;  // nothing that could be lost
    }
    if (Parse(std::string_view(text.constData(), static_cast<size_t>(text.size())), tree)) {
        return LoadState::kLoaded;
    }
    tree->clear();
    return LoadState::kDamaged;
}

// Renames a damaged store aside so that the next write cannot destroy what
// the user may still want from it; `aside` receives the new name.
bool KeepAside(const std::string& path, std::string* aside)
{
    const std::string base =
        path + ".corrupt-" + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")).toStdString();
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const std::string name = attempt == 1 ? base : base + '-' + std::to_string(attempt);
        if (RenameNoReplace(path, name) == 0) {
            *aside = name;
            return true;
        }
        if (errno != EEXIST) {
            return errno == ENOENT;  // gone meanwhile: nothing to keep
        }
    }
    return false;
}

// Removes what writers killed halfway left beside the store (a temporary
// file is normally renamed over the store or removed at once). Those of
// earlier versions end in ".tmp-" and six characters; QSaveFile's, where the
// file system has no unnamed temporary files, in "." and six random letters
// of both cases, so that a user's own "registry.backup" is never taken for
// one. A minute's grace leaves alone any writer that does not take the lock.
void RemoveStaleTemporaries(const std::string& path)
{
    static const QRegularExpression kTemporary(
        QStringLiteral("^(tmp-[A-Za-z0-9]{6}|(?=[A-Za-z]*[a-z])(?=[A-Za-z]*[A-Z])[A-Za-z]{6})$"));
    const QFileInfo store(QFile::decodeName(path.c_str()));
    const QString prefix = store.fileName() + '.';
    const QDateTime before = QDateTime::currentDateTime().addSecs(-60);
    for (const QFileInfo& entry : store.dir().entryInfoList({prefix + '*'}, QDir::Files | QDir::Hidden)) {
        if (kTemporary.match(entry.fileName().mid(prefix.size())).hasMatch() && entry.lastModified() < before) {
            QFile::remove(entry.filePath());
        }
    }
}

// Where the store really lives: a store file that is a symbolic link (kept in
// a dotfiles repository, say) is replaced at the link's target, so the link
// survives; the lock and a damaged file's copy go beside the target too.
// Empty when the path cannot be handed to Qt.
std::string ResolvedPath(const std::string& path)
{
    // Qt cannot hold a name that is not UTF-8; handing it another name would
    // reach another file.
    const QByteArray raw = QByteArray::fromStdString(path);
    const QString name = QFile::decodeName(raw);
    if (QFile::encodeName(name) != raw) {
        return {};
    }
    QFileInfo info(name);
    for (int hops = 0; hops < 40 && info.isSymLink(); ++hops) {
        info.setFile(info.symLinkTarget());
    }
    return QFile::encodeName(info.filePath()).toStdString();
}

// The lock that serialises read-change-replace cycles between the processes
// sharing the store.
QString LockName(const std::string& path)
{
    return QFile::decodeName((path + ".lock").c_str());
}

enum class Edit { kChanged, kUnchanged, kFailed };

// One change, applied to the tree read from the file. It says whether it
// changed the tree, left it as it was (nothing is written) or failed.
using Change = std::function<Edit(KeyTree&)>;

// Replaces the file with `tree`: the new contents appear whole or not at all.
bool Replace(const std::string& path, const KeyTree& tree)
{
    QSaveFile file(QFile::decodeName(path.c_str()));
    const bool existed = QFileInfo::exists(file.fileName());
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (!existed) {
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    const std::string text = Serialize(tree);
    file.write(text.data(), static_cast<qint64>(text.size()));
    return file.commit();
}

}  // namespace

// The store as last read or written, and the changes grouped since
// BeginChanges.
struct RegistryStoreState {
    // The file's tree and the identity the file had when it was read, so that
    // queries parse it again only after someone changed it. Between
    // BeginChanges and CommitChanges the tree is not read again but holds the
    // grouped changes, which are kept in order to be applied again to
    // whatever the file holds at commit time.
    KeyTree tree;
    FileIdentity identity;
    bool known = false;
    bool grouping = false;
    std::vector<Change> changes;

    // What the last read found wrong with the file.
    bool unreadable = false;
    std::string keptAside;
};

namespace {

// Brings the state's tree up to date with the file. A damaged file is kept
// aside (under the lock, in case another process is replacing it).
void Refresh(const std::string& path, RegistryStoreState& state)
{
    const FileIdentity identity = IdentityOf(path);
    if (state.grouping || (state.known && identity == state.identity)) {
        return;
    }
    state.known = true;
    state.identity = identity;
    LoadState loaded = Load(path, &state.tree);
    if (loaded == LoadState::kDamaged) {
        QLockFile lock(LockName(path));
        if (lock.lock()) {
            loaded = Load(path, &state.tree);
        }
        if (loaded == LoadState::kDamaged) {
            KeepAside(path, &state.keptAside);
        }
        state.identity = IdentityOf(path);
    }
    state.unreadable = loaded == LoadState::kUnreadable;
}

// Read, change and replace under the lock; the state keeps what was written.
bool Modify(const std::string& path, const Change& change, RegistryStoreState& state)
{
    if (path.empty() || !MakeFolders(ParentFolder(path), 0700)) {
        return false;
    }
    QLockFile lock(LockName(path));
    if (!lock.lock()) {
        return false;
    }
    KeyTree tree;
    switch (Load(path, &tree)) {
        case LoadState::kUnreadable:
            return false;
        case LoadState::kDamaged:
            if (!KeepAside(path, &state.keptAside)) {
                return false;
            }
            tree.clear();
            break;
        default:
            break;
    }
    switch (change(tree)) {
        case Edit::kFailed:
            return false;
        case Edit::kUnchanged:
            return true;
        case Edit::kChanged:
            break;
    }
    RemoveStaleTemporaries(path);
    if (!Replace(path, tree)) {
        return false;
    }
    // Still under the lock, so no other writer came in between.
    state.tree = std::move(tree);
    state.identity = IdentityOf(path);
    state.known = true;
    return true;
}

bool Apply(const std::string& filePath, RegistryStoreState& state, const Change& change)
{
    if (!state.grouping) {
        return Modify(ResolvedPath(filePath), change, state);
    }
    const Edit result = change(state.tree);
    if (result == Edit::kChanged) {
        state.changes.push_back(change);
    }
    return result != Edit::kFailed;
}

Change CreateKeyChange(const std::string& key)
{
    return [key](KeyTree& tree) {
        if (KeyExistsIn(tree, key)) {
            return Edit::kUnchanged;
        }
        tree[AsciiLowered(key)].path = key;
        return Edit::kChanged;
    };
}

Change SetValueChange(const std::string& key, const std::string& name, std::uint32_t type,
                      std::vector<std::uint8_t> bytes)
{
    return [key, name, type, bytes = std::move(bytes)](KeyTree& tree) {
        Key* entry = KeyEntry(tree, key);
        if (entry == nullptr) {
            return Edit::kFailed;
        }
        Value& value = entry->values[AsciiLowered(name)];
        if (value.name.empty()) {
            value.name = name;
        }
        value.type = type;
        value.data = bytes;
        return Edit::kChanged;
    };
}

}  // namespace

RegistryStore::RegistryStore(std::string filePath_)
    : filePath(std::move(filePath_)), state(std::make_unique<RegistryStoreState>())
{
}

RegistryStore::~RegistryStore()
{
    CommitChanges();
}

std::string RegistryStore::DefaultPath()
{
    const std::string config = XdgConfigHome();
    return config.empty() ? std::string() : config + "/brelvix/registry";
}

void RegistryStore::BeginChanges()
{
    Refresh(ResolvedPath(filePath), *state);
    state->grouping = true;
}

bool RegistryStore::CommitChanges()
{
    if (!state->grouping) {
        return true;
    }
    state->grouping = false;
    const std::vector<Change> changes = std::move(state->changes);
    state->changes.clear();
    if (changes.empty()) {
        return true;
    }
    state->known = false;  // the tree holds changes the file may never get
    return Modify(
        ResolvedPath(filePath),
        [&changes](KeyTree& tree) {
            // A change that no longer applies (another process removed its
            // key meanwhile) is dropped; the others still land.
            bool changed = false;
            for (const Change& change : changes) {
                changed = change(tree) == Edit::kChanged || changed;
            }
            return changed ? Edit::kChanged : Edit::kUnchanged;
        },
        *state);
}

RegistryStore::FileProblem RegistryStore::Problem()
{
    const std::string path = ResolvedPath(filePath);
    if (path.empty()) {
        return FileProblem::kNone;
    }
    Refresh(path, *state);
    if (state->unreadable) {
        return FileProblem::kUnreadable;
    }
    if (!state->keptAside.empty()) {
        return FileProblem::kKeptAside;
    }
    const QFileInfo file(QFile::decodeName(path.c_str()));
    const QFileInfo folder(file.absolutePath());
    // Replacing the file takes a new file and a lock file in its folder.
    const bool writable = (!file.exists() || file.isWritable()) && (!folder.exists() || folder.isWritable());
    return writable ? FileProblem::kNone : FileProblem::kReadOnly;
}

const std::string& RegistryStore::KeptAsidePath() const
{
    return state->keptAside;
}

bool RegistryStore::KeyExists(const std::string& key)
{
    if (!ValidKeyPath(key)) {
        return false;
    }
    Refresh(ResolvedPath(filePath), *state);
    return KeyExistsIn(state->tree, key);
}

bool RegistryStore::CreateKey(const std::string& key)
{
    return ValidKeyPath(key) && Apply(filePath, *state, CreateKeyChange(key));
}

bool RegistryStore::QueryValue(const std::string& key, const std::string& name, std::uint32_t* type,
                               std::vector<std::uint8_t>* data)
{
    if (!ValidKeyPath(key)) {
        return false;
    }
    Refresh(ResolvedPath(filePath), *state);
    const auto found = state->tree.find(AsciiLowered(key));
    if (found == state->tree.end()) {
        return false;
    }
    const auto value = found->second.values.find(AsciiLowered(name));
    if (value == found->second.values.end()) {
        return false;
    }
    if (type != nullptr) {
        *type = value->second.type;
    }
    if (data != nullptr) {
        *data = value->second.data;
    }
    return true;
}

bool RegistryStore::SetValue(const std::string& key, const std::string& name, std::uint32_t type, const void* data,
                             std::size_t size)
{
    if (!ValidKeyPath(key) || (data == nullptr && size != 0)) {
        return false;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return Apply(filePath, *state, SetValueChange(key, name, type, std::vector<std::uint8_t>(bytes, bytes + size)));
}

}  // namespace brelvix::platform
