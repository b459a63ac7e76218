#pragma once
// A scripted host: records every request and answers as told.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/HostProtocol.h"
#include "support/FloatEnvironment.h"

namespace fi::test {

// A handed-back result, copied during the call as a host must.
struct TResultCopy {
    std::string Caption;
    HostImage Image{};
    std::vector<std::uint8_t> Pixels;
};

struct THostRecorder {
    std::vector<std::int32_t> Requests;
    std::int32_t RegisterAnswer = 7;
    HostWindowHandle Window = 0x1234;
    std::int32_t WindowAnswer = 1;
    std::int32_t ProgressAnswer = 1;
    std::vector<std::int32_t> Progress;
    std::string Category, Title, Description;
    std::int32_t One = 0;
    // Open images for request 3: name and pixel pointer.
    std::vector<std::pair<const char*, std::uint8_t*>> Images;
    std::vector<TResultCopy> Results;
    // The x87 control word the host ran with in each request.
    std::vector<std::uint16_t> ControlWords;

    static THostRecorder* Current;

    static std::int32_t FI_STDCALL Callback(std::int32_t Request, void* Record) {
        THostRecorder& Self = *Current;
        Self.Requests.push_back(Request);
        Self.ControlWords.push_back(X87ControlWord());
        switch (Request) {
        case hrRegister: {
            const auto* R = static_cast<const HostRegistration*>(Record);
            Self.Category = R->Category;
            Self.Title = R->Title;
            Self.Description = R->Description;
            Self.One = R->One;
            return Self.RegisterAnswer;
        }
        case hrMainWindow:
            if (Self.WindowAnswer) std::memcpy(Record, &Self.Window, sizeof Self.Window);
            return Self.WindowAnswer;
        case hrImageQuery: {
            auto* Q = static_cast<HostImageQuery*>(Record);
            if (Q->Index < 0 || std::size_t(Q->Index) >= Self.Images.size()) return 0;
            Q->Name = Self.Images[std::size_t(Q->Index)].first;
            Q->Pixels = Self.Images[std::size_t(Q->Index)].second;
            return 1;
        }
        case hrResult: {
            const auto* R = static_cast<const HostResult*>(Record);
            TResultCopy Copy;
            Copy.Caption = R->Caption;
            Copy.Image = R->Image;
            const std::size_t Bytes = R->Image.Format == hfDouble
                                          ? std::size_t(R->Image.Width) * R->Image.Height * sizeof(double)
                                          : std::size_t(R->Image.BytesPerLine) * R->Image.Height;
            Copy.Pixels.assign(R->Image.Pixels, R->Image.Pixels + Bytes);
            Self.Results.push_back(std::move(Copy));
            return 1;
        }
        case hrProgress:
            Self.Progress.push_back(*static_cast<const std::int32_t*>(Record));
            return Self.ProgressAnswer;
        default:
            return 0;
        }
    }
};

inline THostRecorder* THostRecorder::Current = nullptr;

// Makes Recorder the answering host for a scope.
class THostScope {
public:
    explicit THostScope(THostRecorder& Recorder) { THostRecorder::Current = &Recorder; }
    ~THostScope() { THostRecorder::Current = nullptr; }
    THostScope(const THostScope&) = delete;
    THostScope& operator=(const THostScope&) = delete;
};

} // namespace fi::test
