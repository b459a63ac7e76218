// Headless measurement: every character is 6 × 13 pixels, accelerator marks
// take no room, tabs stop every 8 characters, and text wraps at blanks.
#include "ui/MessageForm.h"

namespace fi {

namespace {

constexpr int CharWidth = 6;
constexpr int LineHeight = 13;

class THeadlessMetrics : public TMessageMetrics {
public:
    TPoint AverageCharSize() override { return TPoint{CharWidth, LineHeight}; }

    int CaptionWidth(const std::string& Caption) override {
        int Count = 0;
        for (std::size_t i = 0; i < Caption.size(); ++i) {
            if (Caption[i] == '&' && i + 1 < Caption.size()) ++i; // the mark itself is not drawn
            ++Count;
        }
        return Count * CharWidth;
    }

    TPoint TextSize(const std::string& Text, int MaxWidth) override {
        const int MaxChars = std::max(1, MaxWidth / CharWidth);
        int Lines = 1, Column = 0, Widest = 0;
        std::size_t i = 0;
        while (i < Text.size()) {
            if (Text[i] == '\r' || Text[i] == '\n') {
                if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
                ++i;
                ++Lines;
                Column = 0;
                continue;
            }
            std::size_t End = i;
            int Word = 0;
            while (End < Text.size() && Text[End] != ' ' && Text[End] != '\r' && Text[End] != '\n') {
                Word += Text[End] == '\t' ? 8 - (Column + Word) % 8 : 1;
                ++End;
            }
            if (Column > 0 && Column + Word > MaxChars) {
                ++Lines;
                Column = 0;
            }
            Column += Word;
            Widest = std::max(Widest, std::min(Column, MaxChars));
            i = End;
            if (i < Text.size() && Text[i] == ' ') {
                ++Column;
                ++i;
            }
        }
        return TPoint{Widest * CharWidth, Lines * LineHeight};
    }
};

} // namespace

std::unique_ptr<TMessageMetrics> CreateMessageMetrics(const TFontSpec&) { return std::make_unique<THeadlessMetrics>(); }

TFontSpec SystemMessageFont() {
    TFontSpec Font;
    Font.Name = "Tahoma";
    Font.Height = -11;
    return Font;
}

} // namespace fi
