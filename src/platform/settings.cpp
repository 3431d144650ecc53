#include "platform/settings.h"

#include <cstdlib>

namespace platform {

std::string setting(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

}  // namespace platform
