#pragma once
// The program's exception for errors the user must see: the catcher shows what()
// on the message line and logs it.

#include <stdexcept>
#include <string>

namespace qxv {

class UserErrorException : public std::runtime_error {
public:
    // Code 99 means "the message says it all": the text is the message alone.
    UserErrorException(int code, const std::string& message)
        : std::runtime_error(code == 99 ? message : std::to_string(code) + ": " + message)
    {
    }
};

}  // namespace qxv
