#include "packer/stub/version_resource.h"

#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "packer/stub/resource_bytes.h"
#include "packer/system/cp932_text.h"
#include "packer/system/pack_error.h"

namespace {

// The standard keys, in their standard spelling.
const char* const kVersionKeys[] = {"ProductName",     "CompanyName",      "FileVersion",      "ProductVersion",
                                      "FileDescription", "LegalCopyright",   "LegalTrademarks",  "Comments",
                                      "InternalName",    "OriginalFilename", "PrivateBuild",     "SpecialBuild"};

// Japanese, with the strings in Unicode (code page 1200).
const uint16_t kLanguage = 0x0411;
const uint16_t kCodePage = 1200;
const uint32_t kFixedSignature = 0xFEEF04BD;
const uint32_t kVosNtWindows32 = 0x00040004;
const uint32_t kVftApp = 1;

struct Block {
    std::u16string key;
    std::vector<uint8_t> value;
    uint16_t valueLength = 0; // in bytes, or in characters for text
    bool text = true;
    std::vector<Block> children;
};

void PadTo4(std::vector<uint8_t>& out)
{
    while (out.size() % 4 != 0)
        out.push_back(0);
}

void Write(const Block& block, std::vector<uint8_t>& out)
{
    size_t start = out.size();
    AppendLe16(out, 0);
    AppendLe16(out, block.valueLength);
    AppendLe16(out, block.text ? 1 : 0);
    for (char16_t c : block.key)
        AppendLe16(out, c);
    AppendLe16(out, 0);
    PadTo4(out);
    out.insert(out.end(), block.value.begin(), block.value.end());
    for (const Block& child : block.children) {
        PadTo4(out);
        Write(child, out);
    }
    size_t length = out.size() - start;
    out[start] = (uint8_t)length;
    out[start + 1] = (uint8_t)(length >> 8);
}

std::u16string Key(const char* ascii)
{
    return std::u16string(ascii, ascii + strlen(ascii));
}

// "1.10 beta" -> 1, 10, 0, 0. Returns false when text does not start with one
// to four numbers of at most 65535, separated by dots.
bool ParseVersion(const std::string& text, uint16_t numbers[4])
{
    size_t at = 0;
    for (int i = 0; i < 4; ++i)
        numbers[i] = 0;
    for (int i = 0; i < 4; ++i) {
        if (at >= text.size() || text[at] < '0' || text[at] > '9')
            return false;
        uint32_t value = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            value = value * 10 + (uint32_t)(text[at++] - '0');
            if (value > 0xFFFF)
                return false;
        }
        numbers[i] = (uint16_t)value;
        if (at == text.size() || text[at] != '.')
            return true;
        if (i < 3)
            ++at;
    }
    return false;
}

std::string Value(const VersionStrings& strings, const char* key)
{
    for (const auto& entry : strings) {
        if (entry.first == key)
            return entry.second;
    }
    return "";
}

} // namespace

void AddVersionString(VersionStrings* strings, const std::string& keyValue)
{
    size_t equals = keyValue.find('=');
    if (equals == std::string::npos || equals == 0)
        throw PackError("--version-info takes KEY=VALUE, such as ProductName=Morlu2; not '" + keyValue + "'",
                        EXIT_USAGE);
    // Windows shows any key; the standard ones take their standard spelling.
    std::string key = keyValue.substr(0, equals);
    for (const char* known : kVersionKeys) {
        if (strcasecmp(known, key.c_str()) == 0)
            key = known;
    }
    std::string value = keyValue.substr(equals + 1);
    for (const auto& entry : *strings) {
        // Windows looks keys up without regard to case.
        if (strcasecmp(entry.first.c_str(), key.c_str()) == 0)
            throw PackError("--version-info " + key + " is given twice", EXIT_USAGE);
    }
    uint16_t numbers[4];
    bool numeric = key == "FileVersion" || key == "ProductVersion";
    if (numeric && !ParseVersion(value, numbers))
        throw PackError("--version-info " + key + "=" + value +
                            ": must start with one to four numbers of at most 65535 separated by dots, "
                            "such as 1.10 or 1.10.0.3",
                        EXIT_USAGE);
    try {
        Utf16FromUtf8(key);
        Utf16FromUtf8(value);
    } catch (const PackError& e) {
        throw PackError("--version-info " + key + ": " + e.what(), EXIT_USAGE);
    }
    strings->emplace_back(key, value);
}

std::vector<uint8_t> VersionResource(const VersionStrings& strings)
{
    uint16_t file[4], product[4];
    ParseVersion(Value(strings, "FileVersion"), file);
    ParseVersion(Value(strings, "ProductVersion"), product);

    Block root;
    root.key = Key("VS_VERSION_INFO");
    root.text = false;
    AppendLe32(root.value, kFixedSignature);
    AppendLe32(root.value, 0x00010000); // structure version 1.0
    AppendLe32(root.value, (uint32_t)file[0] << 16 | file[1]);
    AppendLe32(root.value, (uint32_t)file[2] << 16 | file[3]);
    AppendLe32(root.value, (uint32_t)product[0] << 16 | product[1]);
    AppendLe32(root.value, (uint32_t)product[2] << 16 | product[3]);
    AppendLe32(root.value, 0x3F); // flags mask
    AppendLe32(root.value, 0);    // flags
    AppendLe32(root.value, kVosNtWindows32);
    AppendLe32(root.value, kVftApp);
    AppendLe32(root.value, 0); // subtype
    AppendLe32(root.value, 0); // date, high
    AppendLe32(root.value, 0); // date, low
    root.valueLength = (uint16_t)root.value.size();

    Block table;
    char tableKey[9];
    snprintf(tableKey, sizeof tableKey, "%04X%04X", kLanguage, kCodePage);
    table.key = Key(tableKey);
    for (const auto& entry : strings) {
        Block string;
        string.key = Utf16FromUtf8(entry.first);
        std::u16string value = Utf16FromUtf8(entry.second);
        for (char16_t c : value)
            AppendLe16(string.value, c);
        AppendLe16(string.value, 0);
        string.valueLength = (uint16_t)(value.size() + 1);
        table.children.push_back(string);
    }
    Block stringInfo;
    stringInfo.key = Key("StringFileInfo");
    stringInfo.children.push_back(table);

    Block translation;
    translation.key = Key("Translation");
    translation.text = false;
    AppendLe16(translation.value, kLanguage);
    AppendLe16(translation.value, kCodePage);
    translation.valueLength = 4;
    Block varInfo;
    varInfo.key = Key("VarFileInfo");
    varInfo.children.push_back(translation);

    root.children.push_back(stringInfo);
    root.children.push_back(varInfo);
    std::vector<uint8_t> out;
    Write(root, out);
    if (out.size() > 0xFFFF)
        throw PackError("the version information is longer than the 65535 bytes a resource of it holds", EXIT_USAGE);
    return out;
}
