// A failure of `morlu-pack build` that the user must be told of: the whole
// message (without the program name) and the exit code it ends with.
#pragma once
#include <stdexcept>
#include <string>

#include "packer/system/exit_codes.h"

class PackError : public std::runtime_error {
public:
    explicit PackError(const std::string& message, int code = EXIT_DATA_ERROR)
        : std::runtime_error(message), code_(code)
    {
    }
    int Code() const { return code_; }

private:
    int code_;
};
