// The VERSIONINFO resource that Explorer shows in a program's properties:
// the strings the publisher gives, in Japanese with Unicode text, and the
// numeric file and product versions taken from their strings.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Keys in their standard spelling with UTF-8 values, in the order given.
using VersionStrings = std::vector<std::pair<std::string, std::string>>;

// Adds "KEY=VALUE" from --version-info. KEY is one of the standard names
// (matched without regard to case); FileVersion and ProductVersion must start
// with one to four numbers separated by dots. Throws PackError (usage).
void AddVersionString(VersionStrings* strings, const std::string& keyValue);

// The resource: VS_VERSIONINFO with its fixed part, one string table and the
// translation. No dates: the same strings give the same bytes.
std::vector<uint8_t> VersionResource(const VersionStrings& strings);
