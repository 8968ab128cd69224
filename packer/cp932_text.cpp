#include "packer/cp932_text.h"

#include <errno.h>
#include <iconv.h>

#include "packer/pack_error.h"

namespace {

class Converter {
public:
    Converter() : cd_(iconv_open("CP932", "UTF-8")) {}
    ~Converter()
    {
        if (cd_ != (iconv_t)-1)
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    iconv_t Handle() const { return cd_; }

private:
    iconv_t cd_;
};

} // namespace

std::string Cp932FromUtf8(const std::string& utf8, const std::string& what)
{
    Converter converter;
    if (converter.Handle() == (iconv_t)-1)
        throw PackError("this system's iconv cannot convert UTF-8 to CP932");

    // Code page 932 never takes more bytes than UTF-8 for the same text.
    std::string out(utf8.size(), '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* outPtr = &out[0];
    size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(converter.Handle(), &in, &inLeft, &outPtr, &outLeft) != (size_t)-1)
            continue;
        if (errno == EILSEQ || errno == EINVAL) {
            size_t at = utf8.size() - inLeft;
            throw PackError(what + " has no CP932 form (byte " + std::to_string(at) + " of its UTF-8 text)");
        }
        throw PackError(what + ": conversion to CP932 failed");
    }
    out.resize(out.size() - outLeft);
    return out;
}
