#pragma once
// The user error a refused login ends in: a runtime error with a code, whose
// text is "code: message" (the message alone for code 99). Mirrors the
// program's own user-error type, which the application may map it onto.

#include <stdexcept>
#include <string>

#include "core/fmt.h"

class ServiceUserError : public std::runtime_error {
public:
    ServiceUserError(int code, const std::string& message)
        : std::runtime_error(code == 99 ? message : vr::format("{}: {}", code, message)), code_(code)
    {
    }
    int code() const { return code_; }

private:
    int code_;
};
