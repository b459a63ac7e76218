#include "ui/MessageForm.h"

#include <algorithm>
#include <cstdlib>


namespace fi {

const char* const MessageButtonCaptions[MessageButtonKinds] = {
    "&Yes", "&No", "Yes to &All", "N&o to All", "&All", "OK", "&Retry", "&Ignore", "&Abort", "Cancel", "&Help"};
const TModalResult MessageButtonResults[MessageButtonKinds] = {mrYes,   mrNo,     mrYesToAll, mrNoToAll, mrAll, mrOk,
                                                               mrRetry, mrIgnore, mrAbort,    mrCancel,  mrNone};
const char* const MessageTypeCaptions[4] = {"Warning", "Error", "Information", "Confirm"};

namespace {
const char* const ButtonNames[MessageButtonKinds] = {"Yes",   "No",     "YesToAll", "NoToAll", "All", "OK",
                                                     "Retry", "Ignore", "Abort",    "Cancel",  "Help"};
const TSystemIcon TypeIcons[4] = {TSystemIcon::siWarning, TSystemIcon::siError, TSystemIcon::siInformation,
                                  TSystemIcon::siQuestion};
enum { KindYes = 0, KindNo = 1, KindOK = 5, KindRetry = 6, KindCancel = 9 };

// Measured once per kind and kept for the life of the module (0 = not yet).
int ButtonWidthCache[MessageButtonKinds] = {};
} // namespace

int MulDiv(int Number, int Numerator, int Denominator) {
    if (Denominator == 0) return -1;
    const long long Product = (long long)Number * Numerator;
    const long long Half = std::llabs((long long)Denominator) / 2;
    const bool Negative = (Product < 0) != (Denominator < 0);
    const long long Magnitude = (std::llabs(Product) + Half) / std::llabs((long long)Denominator);
    return int(Negative ? -Magnitude : Magnitude);
}

int DefaultButtonKind(TMessageButtons Buttons) {
    if (Buttons & mbOK) return KindOK;
    if (Buttons & mbYes) return KindYes;
    if (Buttons & mbRetry) return KindRetry;
    return -1;
}

int CancelButtonKind(TMessageButtons Buttons) {
    if (Buttons & mbCancel) return KindCancel;
    if (Buttons & mbNo) return KindNo;
    if (Buttons & mbOK) return KindOK;
    return -1;
}

TMessageLayout ComputeMessageLayout(const std::string& Text, bool HasIcon, const std::vector<TMessageButtonSpec>& Buttons,
                                    TMessageMetrics& Metrics, int ScreenWidth, bool RightToLeft) {
    const TPoint Char = Metrics.AverageCharSize();
    const int HorzMargin = MulDiv(8, Char.X, 4);
    const int VertMargin = MulDiv(8, Char.Y, 8);
    const int HorzSpacing = MulDiv(10, Char.X, 4);
    const int VertSpacing = MulDiv(10, Char.Y, 8);
    int ButtonWidth = MulDiv(50, Char.X, 4);
    for (const TMessageButtonSpec& B : Buttons) ButtonWidth = std::max(ButtonWidth, B.CaptionWidth);
    const int ButtonHeight = MulDiv(14, Char.Y, 8);
    const int ButtonSpacing = MulDiv(4, Char.X, 4);

    const TPoint TextSize = Metrics.TextSize(Text, ScreenWidth / 2);
    int IconTextWidth = TextSize.X;
    int IconTextHeight = TextSize.Y;
    if (HasIcon) {
        IconTextWidth += 32 + HorzSpacing;
        IconTextHeight = std::max(IconTextHeight, 32);
    }
    const int Count = int(Buttons.size());
    const int GroupWidth = Count > 0 ? Count * ButtonWidth + (Count - 1) * ButtonSpacing : 0;

    TMessageLayout L;
    L.ClientWidth = std::max(IconTextWidth, GroupWidth) + 2 * HorzMargin;
    L.ClientHeight = IconTextHeight + ButtonHeight + VertSpacing + 2 * VertMargin;
    const auto Place = [&](int Left, int Top, int Width, int Height) {
        if (RightToLeft) Left = L.ClientWidth - Left - Width;
        return TRect{Left, Top, Left + Width, Top + Height};
    };
    int TextLeft = HorzMargin;
    if (HasIcon) {
        L.IconBounds = Place(HorzMargin, VertMargin, 32, 32);
        TextLeft += 32 + HorzSpacing;
    }
    L.TextBounds = Place(TextLeft, VertMargin, TextSize.X, TextSize.Y);
    int X = (L.ClientWidth - GroupWidth) / 2;
    const int Y = IconTextHeight + VertMargin + VertSpacing;
    for (int i = 0; i < Count; ++i) {
        L.ButtonBounds.push_back(TRect{X, Y, X + ButtonWidth, Y + ButtonHeight});
        X += ButtonWidth + ButtonSpacing;
    }
    return L;
}

namespace {

// The owner of a new message form: the active modal form, else the host's
// main window.
TWindowHandle MessageOwner() {
    TApplication& App = Application();
    if (TForm* Modal = App.ModalForm(); Modal && Modal->Handle()) return Modal->Handle();
    if (App.MainForm && App.ActiveForm() == App.MainForm && App.MainForm->Handle()) return App.MainForm->Handle();
    return App.Handle();
}

std::unique_ptr<TMessageForm> BuildMessageForm(const std::string& Text, TMessageType Type,
                                               std::vector<TMessageButtonSpec> Buttons,
                                               const std::vector<std::string>& ButtonNamesInOrder, int DefaultIndex,
                                               int CancelIndex) {
    auto Form = std::make_unique<TMessageForm>();
    Form->OwnerWindow = MessageOwner();
    Form->Font = SystemMessageFont();
    Form->BiDiMode = TBiDiMode::bdLeftToRight;
    Form->BorderStyle = TBorderStyle::bsDialog;
    Form->Position = TFormPosition::poScreenCenter;
    Form->Name = "MessageForm";
    Form->Loaded();

    const auto Metrics = CreateMessageMetrics(Form->Font);
    const bool HasIcon = Type >= mtWarning && Type <= mtConfirmation;
    const TMessageLayout L = ComputeMessageLayout(Text, HasIcon, Buttons, *Metrics, ScreenInfo().Width,
                                                  Form->BiDiMode == TBiDiMode::bdRightToLeft);
    Form->SetClientSize(L.ClientWidth, L.ClientHeight);
    Form->SetCaption(HasIcon ? MessageTypeCaptions[Type] : Application().Title);
    if (HasIcon) {
        TImage& Image = Form->Add<TImage>();
        Image.Name = "Image";
        Image.Icon = TypeIcons[Type];
        Image.SetBounds(L.IconBounds.Left, L.IconBounds.Top, 32, 32);
        Form->Image = &Image;
    }
    TLabel& Message = Form->Add<TLabel>();
    Message.Name = "Message";
    Message.WordWrap = true;
    Message.Transparent = true;
    Message.ShowAccelChar = false;
    Message.SetCaption(Text);
    Message.SetBounds(L.TextBounds.Left, L.TextBounds.Top, L.TextBounds.Width(), L.TextBounds.Height());
    Form->Message = &Message;
    for (std::size_t i = 0; i < Buttons.size(); ++i) {
        TButton& B = Form->Add<TButton>();
        B.Name = ButtonNamesInOrder[i];
        B.SetCaption(Buttons[i].Caption);
        B.ModalResult = Buttons[i].Result;
        B.Default = int(i) == DefaultIndex;
        B.Cancel = int(i) == CancelIndex;
        const TRect& R = L.ButtonBounds[i];
        B.SetBounds(R.Left, R.Top, R.Width(), R.Height());
        // The help button has no result: it does not close the dialog, and
        // the module ships no help file for it to open.
    }
    Form->CenterOnScreen();
    return Form;
}

} // namespace

std::unique_ptr<TMessageForm> CreateMessageForm(const std::string& Text, TMessageType Type, TMessageButtons Buttons) {
    std::vector<TMessageButtonSpec> Specs;
    std::vector<std::string> Names;
    int DefaultIndex = -1, CancelIndex = -1;
    const int DefaultKind = DefaultButtonKind(Buttons), CancelKind = CancelButtonKind(Buttons);
    std::unique_ptr<TMessageMetrics> Metrics;
    for (int Kind = 0; Kind < MessageButtonKinds; ++Kind) {
        if (!(Buttons & (1u << Kind))) continue;
        if (ButtonWidthCache[Kind] == 0) {
            if (!Metrics) Metrics = CreateMessageMetrics(SystemMessageFont());
            ButtonWidthCache[Kind] = Metrics->CaptionWidth(MessageButtonCaptions[Kind]) + 8;
        }
        if (Kind == DefaultKind) DefaultIndex = int(Specs.size());
        if (Kind == CancelKind) CancelIndex = int(Specs.size());
        Specs.push_back({MessageButtonCaptions[Kind], MessageButtonResults[Kind], ButtonWidthCache[Kind]});
        Names.push_back(ButtonNames[Kind]);
    }
    return BuildMessageForm(Text, Type, std::move(Specs), Names, DefaultIndex, CancelIndex);
}

TModalResult ShowStyledMessage(const std::string& Text, TMessageType Type, TMessageButtons Buttons, int HelpContext) {
    const auto Form = CreateMessageForm(Text, Type, Buttons);
    Form->HelpContext = HelpContext;
    Form->HelpFile.clear();
    Form->CenterOnScreen();
    return Form->ShowModal();
}

int ShowCustomMessage(const std::string& Text, TMessageType Type, const std::vector<std::string>& Captions,
                      int CancelNumber) {
    const auto Metrics = CreateMessageMetrics(SystemMessageFont());
    std::vector<TMessageButtonSpec> Specs;
    std::vector<std::string> Names;
    for (std::size_t i = 0; i < Captions.size(); ++i) {
        Specs.push_back({Captions[i], -TModalResult(i + 1), Metrics->CaptionWidth(Captions[i]) + 8});
        Names.push_back("Button" + std::to_string(i + 1));
    }
    const int Count = int(Captions.size());
    const int CancelIndex = Count == 0 ? -1 : std::clamp(CancelNumber - 1, 0, Count - 1);
    const auto Form = BuildMessageForm(Text, Type, std::move(Specs), Names, Count > 0 ? 0 : -1, CancelIndex);
    const TModalResult Result = Form->ShowModal();
    return Result <= 0 ? -Result : 0;
}

} // namespace fi
