// A failure of `morlu-pack build` that the user must be told of: the whole
// message (without the program name) and the exit code it ends with.
#pragma once
#include <stdint.h>

#include <stdexcept>
#include <string>

#include "packer/system/exit_codes.h"

// A size as messages show it: digits in groups of three, "1,073,741,824".
inline std::string SizeText(uint64_t size)
{
    std::string digits = std::to_string(size), text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            text += ',';
        text += digits[i];
    }
    return text;
}

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
