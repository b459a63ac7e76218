// Headless: no registry (the switch value is absent), no window ghosting,
// fixed system colours and no caption to paint.
#include "ui/StyleForm.h"

namespace fi {

std::optional<bool> ReadUseStyleForm(TRegistryRoot) { return std::nullopt; }

void DisableWindowGhosting() {}

void ReadSystemCaptionColors(TColor& GradientActive, TColor& Active, TColor& GradientInactive, TColor& Inactive,
                             TColor& Face) {
    GradientActive = 0xF0CAA6;
    Active = 0x6A240A;
    GradientInactive = 0xC0C0C0;
    Inactive = 0x808080;
    Face = 0xC8D0D4;
}

std::optional<TFontSpec> SystemCaptionFont(bool) {
    TFontSpec Font;
    Font.Name = "Tahoma";
    Font.Bold = true;
    return Font;
}

bool TStyleForm::HandleMessage(TMessage&) { return false; }

} // namespace fi
