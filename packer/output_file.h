// Writes the installer so that its name never shows a partial file: the bytes
// go to a temporary file in the same folder, which is renamed over the name
// only when complete. Failures and the usual termination signals remove it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Throws PackError (file error) when the folder, the write or the rename fails;
// an existing file of that name is then left as it was.
void WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes);
