#pragma once
// The program's site settings that are not options of the window: where the
// live-traffic service and the download site are, and the service key. They are
// read from the process environment (VRMT_SERVICE_URL, VRMT_SERVICE_KEY,
// VRMT_DOWNLOAD_URL, ...).

#include <string>

namespace platform {

// The setting's text; empty when it is not set.
std::string setting(const char* name);

}  // namespace platform
