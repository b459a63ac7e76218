#pragma once
// Screenshots of windows as PNG files, for a person to look at.
#include <windows.h>

#include <string>

namespace fi::test {

// Copies the screen area of Window (frame and caption included) into
// screenshots/<Name>.png below the working folder; false when that fails.
bool SaveWindowScreenshot(HWND Window, const std::string& Name);

} // namespace fi::test
