// A failure of the packer that the user must be told of: the text is the whole
// message, without the program name.
#pragma once
#include <stdexcept>
#include <string>

class PackError : public std::runtime_error {
public:
    explicit PackError(const std::string& message) : std::runtime_error(message) {}
};
