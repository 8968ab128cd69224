#include "packer/stub/icon_file.h"

#include <cstring>
#include <string>

#include "packer/stub/resource_bytes.h"
#include "packer/system/pack_error.h"

namespace {

const size_t kDirectoryBytes = 6;
const size_t kFileEntryBytes = 16;
const size_t kGroupEntryBytes = 14;
const uint32_t kDibHeaderBytes = 40;

} // namespace

std::vector<IconImage> ParseIconFile(const std::vector<uint8_t>& bytes)
{
    if (bytes.size() >= 8 && memcmp(bytes.data(), "\x89PNG\r\n\x1a\n", 8) == 0)
        throw PackError("a PNG image, not an icon file (.ico): make one of it, such as with icotool -c -o setup.ico "
                        "setup-256.png setup-48.png setup-32.png setup-16.png (icoutils) or with convert setup.png "
                        "-define icon:auto-resize=256,48,32,16 setup.ico (ImageMagick)");
    if (bytes.size() < kDirectoryBytes || LoadLe16(&bytes[0]) != 0 || LoadLe16(&bytes[2]) != 1)
        throw PackError("not an icon file (.ico)");
    uint32_t count = LoadLe16(&bytes[4]);
    if (count == 0)
        throw PackError("the icon file holds no image");
    if (kDirectoryBytes + (uint64_t)count * kFileEntryBytes > bytes.size())
        throw PackError("the icon file's directory is cut short");
    std::vector<IconImage> images;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = &bytes[kDirectoryBytes + i * kFileEntryBytes];
        uint32_t size = LoadLe32(e + 8), offset = LoadLe32(e + 12);
        std::string which = "image " + std::to_string(i + 1);
        if (size < kDibHeaderBytes || (uint64_t)offset + size > bytes.size())
            throw PackError("the icon file's " + which + " lies outside the file");
        IconImage image;
        image.width = e[0];
        image.height = e[1];
        image.colorCount = e[2];
        image.planes = (uint16_t)LoadLe16(e + 4);
        image.bitCount = (uint16_t)LoadLe16(e + 6);
        image.data.assign(bytes.begin() + offset, bytes.begin() + offset + size);
        const uint8_t* d = image.data.data();
        bool png = memcmp(d, "\x89PNG\r\n\x1a\n", 8) == 0;
        if (!png && LoadLe32(d) != kDibHeaderBytes)
            throw PackError("the icon file's " + which + " is neither a PNG nor a bitmap");
        // Windows picks the image to show by these; some editors leave them 0.
        if (!png && image.planes == 0)
            image.planes = (uint16_t)LoadLe16(d + 12);
        if (!png && image.bitCount == 0)
            image.bitCount = (uint16_t)LoadLe16(d + 14);
        images.push_back(std::move(image));
    }
    return images;
}

std::vector<uint8_t> IconGroupResource(const std::vector<IconImage>& images, uint16_t firstId)
{
    std::vector<uint8_t> group;
    AppendLe16(group, 0);
    AppendLe16(group, 1);
    AppendLe16(group, (uint32_t)images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const IconImage& image = images[i];
        group.push_back(image.width);
        group.push_back(image.height);
        group.push_back(image.colorCount);
        group.push_back(0);
        AppendLe16(group, image.planes);
        AppendLe16(group, image.bitCount);
        AppendLe16(group, (uint32_t)image.data.size());
        AppendLe16(group, (uint32_t)image.data.size() >> 16);
        AppendLe16(group, (uint32_t)(firstId + i));
    }
    return group;
}

std::vector<uint16_t> IconGroupMembers(const std::vector<uint8_t>& group)
{
    std::vector<uint16_t> ids;
    if (group.size() < kDirectoryBytes)
        return ids;
    uint32_t count = LoadLe16(&group[4]);
    for (uint32_t i = 0; i < count && kDirectoryBytes + (i + 1) * kGroupEntryBytes <= group.size(); ++i)
        ids.push_back((uint16_t)LoadLe16(&group[kDirectoryBytes + i * kGroupEntryBytes + 12]));
    return ids;
}
