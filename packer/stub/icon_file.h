// A Windows icon file (.ico) taken apart into the images that become the
// program's RT_ICON resources, and the group directory that lists them.
#pragma once
#include <cstdint>
#include <vector>

struct IconImage {
    uint8_t width = 0, height = 0, colorCount = 0; // 0 width or height: 256
    uint16_t planes = 0, bitCount = 0;
    std::vector<uint8_t> data; // a PNG or a DIB without its file header
};

// Throws PackError (without the file's name) when bytes are no icon file
// whose images all lie inside it and are PNG or DIB images.
std::vector<IconImage> ParseIconFile(const std::vector<uint8_t>& bytes);

// The RT_GROUP_ICON resource that lists images under resource ids firstId, firstId + 1, ...
std::vector<uint8_t> IconGroupResource(const std::vector<IconImage>& images, uint16_t firstId);

// The image ids that an RT_GROUP_ICON resource lists.
std::vector<uint16_t> IconGroupMembers(const std::vector<uint8_t>& group);
