#pragma once
// The user's and the machine's well-known folders. On Windows the shell's known
// folders; elsewhere each can be set by an environment variable (VRMT_APPDATA,
// VRMT_PROGRAMDATA, VRMT_DOCUMENTS, VRMT_PUBLIC_DOCUMENTS), else an XDG or
// $HOME default.

#include <filesystem>
#include <optional>

namespace platform {

enum class KnownFolder {
    RoamingAppData,   // per-user application data
    ProgramData,      // machine-wide application data
    Documents,        // the user's documents
    PublicDocuments,  // documents shared by all users
};

// The folder, or nullopt when it cannot be found.
std::optional<std::filesystem::path> knownFolder(KnownFolder folder);

}  // namespace platform
