#pragma once
// The module's own message dialog: a type caption and icon, the word-wrapped
// text and a centred row of buttons.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ui/StyleForm.h"

namespace fi {

enum TMessageType : int { mtWarning = 0, mtError = 1, mtInformation = 2, mtConfirmation = 3, mtCustom = 4 };

// Button set: bit i stands for button kind i.
using TMessageButtons = std::uint16_t;
enum : TMessageButtons {
    mbYes = 1 << 0,
    mbNo = 1 << 1,
    mbYesToAll = 1 << 2,
    mbNoToAll = 1 << 3,
    mbAll = 1 << 4,
    mbOK = 1 << 5,
    mbRetry = 1 << 6,
    mbIgnore = 1 << 7,
    mbAbort = 1 << 8,
    mbCancel = 1 << 9,
    mbHelp = 1 << 10,
};
inline constexpr int MessageButtonKinds = 11;
extern const char* const MessageButtonCaptions[MessageButtonKinds];
extern const TModalResult MessageButtonResults[MessageButtonKinds];
extern const char* const MessageTypeCaptions[4];

// Text measurement with the dialog's font.
class TMessageMetrics {
public:
    virtual ~TMessageMetrics() = default;
    // Extent of the 52 letters A-Z and a-z: width / 52 and height.
    virtual TPoint AverageCharSize() = 0;
    // Width of a caption on a single line.
    virtual int CaptionWidth(const std::string& Caption) = 0;
    // Size of Text word-wrapped within MaxWidth, tabs expanded.
    virtual TPoint TextSize(const std::string& Text, int MaxWidth) = 0;
};
// The platform's measurement with Font; headless: a fixed-pitch model.
std::unique_ptr<TMessageMetrics> CreateMessageMetrics(const TFontSpec& Font);
TFontSpec SystemMessageFont();

struct TMessageButtonSpec {
    std::string Caption;
    TModalResult Result = mrNone;
    int CaptionWidth = 0; // measured single-line width + 8
};

struct TMessageLayout {
    int ClientWidth = 0, ClientHeight = 0;
    TRect IconBounds; // empty without an icon
    TRect TextBounds;
    std::vector<TRect> ButtonBounds;
};

// Windows' integer multiply-divide, rounded to the nearest.
int MulDiv(int Number, int Numerator, int Denominator);

// Places the icon, the text and the buttons of a message dialog.
TMessageLayout ComputeMessageLayout(const std::string& Text, bool HasIcon, const std::vector<TMessageButtonSpec>& Buttons,
                                    TMessageMetrics& Metrics, int ScreenWidth, bool RightToLeft);

// Default and cancel kinds of a button set, -1 when none applies.
int DefaultButtonKind(TMessageButtons Buttons);
int CancelButtonKind(TMessageButtons Buttons);

class TMessageForm : public TStyleForm {
public:
    const char* ClassName() const override { return "TMessageForm"; }
    TLabel* Message = nullptr;
    TImage* Image = nullptr;
};

std::unique_ptr<TMessageForm> CreateMessageForm(const std::string& Text, TMessageType Type, TMessageButtons Buttons);

// Shows the message modally; the modal result of the button that closed it.
TModalResult ShowStyledMessage(const std::string& Text, TMessageType Type, TMessageButtons Buttons, int HelpContext);

// One button per caption; the 1-based number of the pressed button (0 when
// the dialog closed otherwise). CancelNumber picks the Escape button.
int ShowCustomMessage(const std::string& Text, TMessageType Type, const std::vector<std::string>& Captions,
                      int CancelNumber);

} // namespace fi
