#pragma once
// The system registry, read only. Answers carry the system's (Win32) error codes,
// so the layer above can report them as the system would. Key and value names
// compare case-insensitively, as in the real registry.
//
// On Windows the system registry is the real one. On other systems it is read
// from a file in the Windows ".reg" export format named by the environment
// variable VRMT_REGISTRY_FILE (a regedit export of the keys the program reads,
// in UTF-16 with a byte-order mark or in UTF-8); without the variable or the
// file the registry is empty.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class RegRoot { LocalMachine, CurrentUser };

// The system error codes of the answers.
inline constexpr std::int32_t regSuccess = 0;
inline constexpr std::int32_t regFileNotFound = 2;        // ERROR_FILE_NOT_FOUND
inline constexpr std::int32_t regUnsupportedType = 1630;  // ERROR_UNSUPPORTED_TYPE

class Registry {
public:
    virtual ~Registry() = default;

    // regSuccess when the key exists and can be opened for reading, else an
    // error code (regFileNotFound when there is no such key).
    virtual std::int32_t openKey(RegRoot root, std::u16string_view subKey) const = 0;

    // Reads the string (REG_SZ) value `name` of the key into `value` (without a
    // terminating null). regFileNotFound when the key or the value is missing,
    // regUnsupportedType when the value is not a string. `value` is only changed
    // on success. An empty name is the key's default value.
    virtual std::int32_t getString(RegRoot root, std::u16string_view subKey, std::u16string_view name,
                                   std::u16string& value) const = 0;
};

// A registry held in memory: the Linux stand-in for the system registry, and
// the registry of tests. Filled before it is shared; reads are thread-safe.
class MemoryRegistry final : public Registry {
public:
    std::int32_t openKey(RegRoot root, std::u16string_view subKey) const override;
    std::int32_t getString(RegRoot root, std::u16string_view subKey, std::u16string_view name,
                           std::u16string& value) const override;

    // Creates the key (and so its parents) without values.
    void addKey(RegRoot root, std::u16string_view subKey);
    // Sets a string value, creating the key.
    void setString(RegRoot root, std::u16string_view subKey, std::u16string_view name, std::u16string_view value);
    // Sets a value of another type than REG_SZ (a number, binary data, an
    // expandable string...), creating the key.
    void setOther(RegRoot root, std::u16string_view subKey, std::u16string_view name);
    // Removes a value; the key stays.
    void removeValue(RegRoot root, std::u16string_view subKey, std::u16string_view name);

private:
    struct Value {
        bool isString = false;
        std::u16string text;
    };
    struct Key {
        std::map<std::u16string, Value> values;  // by folded name
    };
    const Key* findKey(RegRoot root, std::u16string_view subKey) const;
    Key& key(RegRoot root, std::u16string_view subKey);

    std::map<std::u16string, Key> keys_;  // by root tag and folded path
};

// Parses the text of a .reg export ("Windows Registry Editor Version 5.00") into
// `into`: [HKEY_LOCAL_MACHINE\...] and [HKEY_CURRENT_USER\...] sections,
// "name"="text" string values (and @="text" for the default value) with the
// escapes \\ and \"; values of other types (dword:, hex:, hex(2):, ...) are kept as
// values that are not strings. Comments (;) and blank lines are skipped, as are
// sections of other roots. Returns the problems found, one text a problem
// ("line 7: ..."); the lines with a problem are left out.
std::vector<std::string> parseRegText(std::u16string_view text, MemoryRegistry& into);

// The same for the raw bytes of a .reg file: UTF-16 with a byte-order mark (as
// regedit writes it), or UTF-8 with or without one.
std::vector<std::string> parseRegFileBytes(std::string_view bytes, MemoryRegistry& into);

// The process-wide registry: the system's unless a test set another.
Registry& registry();
// Replaces the process-wide registry; nullptr returns to the system's (read
// anew on next use). A replaced registry stays alive for the rest of the
// process, so a reference still held elsewhere is safe.
void setRegistry(std::unique_ptr<Registry> r);

// The system's registry (implemented per operating system).
std::unique_ptr<Registry> makeSystemRegistry();

}  // namespace platform
