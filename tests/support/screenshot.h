#pragma once
#include <windows.h>

#include <string>

// Saves what the screen shows of `area` as a 24-bit BMP file.
bool SaveScreenshot(const RECT& area, const std::string& path);
// The whole screen.
bool SaveScreenshot(const std::string& path);
