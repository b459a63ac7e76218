// Measurement with the real message font on a screen device context.
#include "ui/FormsWin32.h"
#include "ui/MessageForm.h"

namespace fi {

namespace {

class TScreenMetrics : public TMessageMetrics {
public:
    explicit TScreenMetrics(const TFontSpec& Font) : Dc(CreateCompatibleDC(nullptr)), FontHandle(CreateFontHandle(Font)) {
        Previous = SelectObject(Dc, FontHandle);
    }
    ~TScreenMetrics() override {
        SelectObject(Dc, Previous);
        DeleteObject(FontHandle);
        DeleteDC(Dc);
    }
    TScreenMetrics(const TScreenMetrics&) = delete;
    TScreenMetrics& operator=(const TScreenMetrics&) = delete;

    TPoint AverageCharSize() override {
        static const char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        SIZE Size{};
        GetTextExtentPoint32A(Dc, Letters, 52, &Size);
        return TPoint{int(Size.cx / 52), int(Size.cy)};
    }

    int CaptionWidth(const std::string& Caption) override {
        RECT R{0, 0, 0, 0};
        DrawTextA(Dc, Caption.c_str(), -1, &R, DT_CALCRECT | DT_LEFT | DT_SINGLELINE);
        return R.right - R.left;
    }

    TPoint TextSize(const std::string& Text, int MaxWidth) override {
        RECT R{0, 0, MaxWidth, 0};
        DrawTextA(Dc, Text.c_str(), -1, &R, DT_EXPANDTABS | DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        return TPoint{int(R.right - R.left), int(R.bottom - R.top)};
    }

private:
    HDC Dc;
    HFONT FontHandle;
    HGDIOBJ Previous;
};

} // namespace

std::unique_ptr<TMessageMetrics> CreateMessageMetrics(const TFontSpec& Font) {
    return std::make_unique<TScreenMetrics>(Font);
}

TFontSpec SystemMessageFont() {
    NONCLIENTMETRICSA Metrics{};
    Metrics.cbSize = sizeof Metrics;
    if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof Metrics, &Metrics, 0)) return TFontSpec{};
    return FontSpecFromLogFont(Metrics.lfMessageFont);
}

} // namespace fi
