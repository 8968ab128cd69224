// One direction of iconv, for the POSIX side of the system seam: the texts
// of platform_posix.cpp and the member names of file_sink_posix.cpp.
#pragma once
#include <iconv.h>
#include <stddef.h>

class IconvConverter {
public:
    IconvConverter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~IconvConverter()
    {
        if (Opened())
            iconv_close(handle_);
    }
    IconvConverter(const IconvConverter&) = delete;
    IconvConverter& operator=(const IconvConverter&) = delete;

    // False when this system's iconv lacks one of the two.
    bool Opened() const { return handle_ != (iconv_t)-1; }

    // Converts in[0, length) into out, which holds capacity bytes, as far as
    // it goes: returns the offset of the first byte that does not convert (or
    // fit), length when all did; *written is the bytes out then holds.
    size_t Convert(const char* in, size_t length, char* out, size_t capacity, size_t* written)
    {
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        char* from = const_cast<char*>(in);
        size_t fromLeft = length;
        char* to = out;
        size_t toLeft = capacity;
        while (fromLeft > 0 && iconv(handle_, &from, &fromLeft, &to, &toLeft) != (size_t)-1) {
        }
        *written = capacity - toLeft;
        return length - fromLeft;
    }

private:
    iconv_t handle_;
};
