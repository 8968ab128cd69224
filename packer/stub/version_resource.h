// The VERSIONINFO resource that Explorer shows in a program's properties:
// the strings the publisher gives, in Japanese with Unicode text, and the
// numeric file and product versions taken from their strings.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Keys (the standard ones in their standard spelling) and values in UTF-8, in
// the order given.
using VersionStrings = std::vector<std::pair<std::string, std::string>>;

// Adds "KEY=VALUE" from --version-info. KEY is any name, each at most once
// whatever its case, a standard one taking its standard spelling;
// FileVersion and ProductVersion must start with one to four numbers
// separated by dots. Throws PackError (usage).
void AddVersionString(VersionStrings* strings, const std::string& keyValue);

// The resource: VS_VERSIONINFO with its fixed part, one string table and the
// translation. No dates: the same strings give the same bytes.
std::vector<uint8_t> VersionResource(const VersionStrings& strings);
