#pragma once
// Helpers shared by the win32 layers of the user-interface units.
#include <windows.h>

#include "ui/Forms.h"

namespace fi {

// Posted to a form once its modal loop runs; LParam carries the queued action.
inline constexpr UINT WM_MODALACTION = WM_APP + 0x100;

HFONT CreateFontHandle(const TFontSpec& Font);
TFontSpec FontSpecFromLogFont(const LOGFONTA& Font);
// The instance of the module that holds this code (DLL or executable).
HINSTANCE ModuleInstance();
// The window styles of a form's border style.
void FormWindowStyle(const TForm& Form, DWORD& Style, DWORD& ExStyle);

} // namespace fi
