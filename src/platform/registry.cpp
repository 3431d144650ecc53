#include "platform/registry.h"

#include <mutex>

#include "platform/utf_codec.h"

namespace platform {

namespace {

// Upper case for the comparison of names: ASCII, Latin-1, Greek and Cyrillic,
// which covers the names met in practice.
char16_t foldChar(char16_t c)
{
    if (c >= u'a' && c <= u'z') {
        return static_cast<char16_t>(c - 0x20);
    }
    if (c < 0xE0) {
        return c;
    }
    if ((c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F)) {
        return static_cast<char16_t>(c - 0x20);
    }
    if (c == 0xFF) {
        return 0x178;
    }
    if (c >= 0x450 && c <= 0x45F) {
        return static_cast<char16_t>(c - 0x50);
    }
    return c;
}

std::u16string fold(std::u16string_view s)
{
    std::u16string out(s);
    for (auto& c : out) {
        c = foldChar(c);
    }
    return out;
}

// The map key of a registry key: a root tag, then the folded path without
// trailing backslashes.
std::u16string keyPath(RegRoot root, std::u16string_view subKey)
{
    while (!subKey.empty() && subKey.back() == u'\\') {
        subKey.remove_suffix(1);
    }
    std::u16string path = root == RegRoot::LocalMachine ? u"M:" : u"U:";
    path += fold(subKey);
    return path;
}

}  // namespace

const MemoryRegistry::Key* MemoryRegistry::findKey(RegRoot root, std::u16string_view subKey) const
{
    const auto it = keys_.find(keyPath(root, subKey));
    return it == keys_.end() ? nullptr : &it->second;
}

MemoryRegistry::Key& MemoryRegistry::key(RegRoot root, std::u16string_view subKey)
{
    return keys_[keyPath(root, subKey)];
}

std::int32_t MemoryRegistry::openKey(RegRoot root, std::u16string_view subKey) const
{
    const std::u16string path = keyPath(root, subKey);
    if (path.size() == 2) {
        return regSuccess;  // the root itself
    }
    // The key itself, or a parent of a stored key.
    const auto it = keys_.lower_bound(path);
    if (it != keys_.end() && it->first.compare(0, path.size(), path) == 0 &&
        (it->first.size() == path.size() || it->first[path.size()] == u'\\')) {
        return regSuccess;
    }
    // lower_bound may land on a sibling such as "...\v5 old" before "...\v5\x".
    for (auto next = it; next != keys_.end() && next->first.compare(0, path.size(), path) == 0; ++next) {
        if (next->first.size() > path.size() && next->first[path.size()] == u'\\') {
            return regSuccess;
        }
    }
    return regFileNotFound;
}

std::int32_t MemoryRegistry::getString(RegRoot root, std::u16string_view subKey, std::u16string_view name,
                                       std::u16string& value) const
{
    const Key* k = findKey(root, subKey);
    if (k == nullptr) {
        return regFileNotFound;
    }
    const auto it = k->values.find(fold(name));
    if (it == k->values.end()) {
        return regFileNotFound;
    }
    if (!it->second.isString) {
        return regUnsupportedType;
    }
    value = it->second.text;
    return regSuccess;
}

void MemoryRegistry::addKey(RegRoot root, std::u16string_view subKey) { key(root, subKey); }

void MemoryRegistry::setString(RegRoot root, std::u16string_view subKey, std::u16string_view name,
                               std::u16string_view value)
{
    key(root, subKey).values[fold(name)] = Value{true, std::u16string(value)};
}

void MemoryRegistry::setOther(RegRoot root, std::u16string_view subKey, std::u16string_view name)
{
    key(root, subKey).values[fold(name)] = Value{false, {}};
}

void MemoryRegistry::removeValue(RegRoot root, std::u16string_view subKey, std::u16string_view name)
{
    if (auto it = keys_.find(keyPath(root, subKey)); it != keys_.end()) {
        it->second.values.erase(fold(name));
    }
}

// ---- .reg files -------------------------------------------------------------

namespace {

std::u16string_view trim(std::u16string_view s)
{
    while (!s.empty() && (s.front() == u' ' || s.front() == u'\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == u' ' || s.back() == u'\t' || s.back() == u'\r')) {
        s.remove_suffix(1);
    }
    return s;
}

std::string lineProblem(std::size_t line, const char* what)
{
    return "line " + std::to_string(line) + ": " + what;
}

// Reads a quoted text at the start of `s` (which starts with '"'), undoing the
// \\ and \" escapes; moves `s` past the closing quote. False when it is not
// closed or holds another escape.
bool readQuoted(std::u16string_view& s, std::u16string& out)
{
    out.clear();
    std::size_t i = 1;
    for (; i < s.size(); ++i) {
        const char16_t c = s[i];
        if (c == u'"') {
            s.remove_prefix(i + 1);
            return true;
        }
        if (c == u'\\') {
            if (i + 1 == s.size() || (s[i + 1] != u'\\' && s[i + 1] != u'"')) {
                return false;
            }
            ++i;
            out.push_back(s[i]);
        } else {
            out.push_back(c);
        }
    }
    return false;
}

bool startsWith(std::u16string_view s, std::u16string_view prefix)
{
    return s.size() >= prefix.size() && fold(s.substr(0, prefix.size())) == fold(prefix);
}

}  // namespace

std::vector<std::string> parseRegText(std::u16string_view text, MemoryRegistry& into)
{
    std::vector<std::string> problems;
    // Split into lines; a value line ending in a backslash (long hex data)
    // continues on the next.
    std::vector<std::pair<std::size_t, std::u16string>> lines;
    {
        std::size_t number = 0;
        bool continues = false;
        std::size_t pos = 0;
        while (pos <= text.size()) {
            const std::size_t end = std::min(text.find(u'\n', pos), text.size());
            std::u16string_view line = trim(text.substr(pos, end - pos));
            ++number;
            if (continues) {
                lines.back().second += line;
            } else {
                lines.emplace_back(number, std::u16string(line));
            }
            std::u16string& last = lines.back().second;
            continues = !last.empty() && last.back() == u'\\' && last.front() != u'[' && last.find(u"=\"") == std::u16string::npos;
            if (continues) {
                last.pop_back();
            }
            pos = end + 1;
        }
    }

    bool headerSeen = false;
    bool inKey = false;  // inside a section of a root we keep
    bool sectionSeen = false;
    RegRoot root = RegRoot::LocalMachine;
    std::u16string subKey;
    for (const auto& [number, line] : lines) {
        std::u16string_view s = line;
        if (!headerSeen && !s.empty() && s.front() == 0xFEFF) {
            s.remove_prefix(1);  // a byte-order mark left in the text
        }
        if (s.empty() || s.front() == u';') {
            continue;
        }
        if (!headerSeen) {
            if (s != u"Windows Registry Editor Version 5.00" && s != u"REGEDIT4") {
                problems.push_back(lineProblem(number, "not a registry file (no \"Windows Registry Editor Version 5.00\")"));
                return problems;
            }
            headerSeen = true;
            continue;
        }
        if (s.front() == u'[') {
            sectionSeen = true;
            inKey = false;
            if (s.back() != u']') {
                problems.push_back(lineProblem(number, "key without closing bracket"));
                continue;
            }
            std::u16string_view path = s.substr(1, s.size() - 2);
            if (!path.empty() && path.front() == u'-') {
                continue;  // a deletion: nothing to keep
            }
            const std::size_t slash = path.find(u'\\');
            const std::u16string_view rootName = path.substr(0, slash);
            subKey = slash == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(slash + 1));
            if (fold(rootName) == u"HKEY_LOCAL_MACHINE") {
                root = RegRoot::LocalMachine;
            } else if (fold(rootName) == u"HKEY_CURRENT_USER") {
                root = RegRoot::CurrentUser;
            } else {
                continue;  // a root this program never reads
            }
            inKey = true;
            into.addKey(root, subKey);
            continue;
        }
        // A value: "name"=data or @=data.
        std::u16string name;
        if (s.front() == u'@') {
            s.remove_prefix(1);
        } else if (s.front() != u'"' || !readQuoted(s, name)) {
            problems.push_back(lineProblem(number, "value name is not a quoted text"));
            continue;
        }
        s = trim(s);
        if (s.empty() || s.front() != u'=') {
            problems.push_back(lineProblem(number, "no '=' after the value name"));
            continue;
        }
        s = trim(s.substr(1));
        if (!sectionSeen) {
            problems.push_back(lineProblem(number, "value before the first key"));
            continue;
        }
        if (!inKey) {
            continue;
        }
        if (!s.empty() && s.front() == u'"') {
            std::u16string data;
            if (!readQuoted(s, data) || !trim(s).empty()) {
                problems.push_back(lineProblem(number, "string value not closed, or an escape other than \\\\ and \\\""));
                continue;
            }
            into.setString(root, subKey, name, data);
        } else if (s == u"-") {
            into.removeValue(root, subKey, name);
        } else if (startsWith(s, u"dword:") || startsWith(s, u"hex:") || startsWith(s, u"hex(")) {
            into.setOther(root, subKey, name);
        } else {
            problems.push_back(lineProblem(number, "unknown value type"));
        }
    }
    if (!headerSeen) {
        problems.push_back("not a registry file (no \"Windows Registry Editor Version 5.00\")");
    }
    return problems;
}

std::vector<std::string> parseRegFileBytes(std::string_view bytes, MemoryRegistry& into)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 2 && ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF))) {
        bool oddByte = false;
        const std::u16string text = utf16FromBytes(bytes, oddByte);
        if (oddByte) {
            return {"UTF-16 file with an odd number of bytes"};
        }
        return parseRegText(text, into);
    }
    if (bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
        bytes.remove_prefix(3);
    }
    std::u16string text;
    if (!utf8ToUtf16(bytes, text)) {
        return {"file is neither UTF-16 with a byte-order mark nor valid UTF-8"};
    }
    return parseRegText(text, into);
}

// ---- the process-wide registry -----------------------------------------------

namespace {

struct RegistryState {
    std::mutex mutex;
    std::shared_ptr<Registry> current;
    std::vector<std::shared_ptr<Registry>> retired;
};

// Never destroyed: detached threads may read the registry during exit.
RegistryState& state()
{
    static RegistryState& s = *new RegistryState;
    return s;
}

}  // namespace

Registry& registry()
{
    auto& s = state();
    std::lock_guard lock(s.mutex);
    if (!s.current) {
        s.current = makeSystemRegistry();
    }
    return *s.current;
}

void setRegistry(std::unique_ptr<Registry> r)
{
    auto& s = state();
    std::lock_guard lock(s.mutex);
    if (s.current) {
        s.retired.push_back(std::move(s.current));
    }
    s.current = std::move(r);
}

}  // namespace platform
