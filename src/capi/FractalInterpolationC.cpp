// The C interface: a settings object holds the settings the parameter dialog
// shows, with the dialog's defaults, formulas, ranges and fixed scales; the
// enlargement is the driver's, so that the pixels are the plug-in's. The
// best quality is the command line's preset of that name: its parameters in
// the same fields, its enlargement by the same unit.
#include "fractal_interpolation.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "image/FloatMap.h"
#include "image/LinearBitmap.h"
#include "parallel/Progress.h"
#include "plugin/ImageCaption.h"
#include "plugin/ProcessingDriver.h"
#include "settings/EnlargeSettings.h"
#include "support/ModuleEntry.h"
#include "support/ThreadSlot.h"
#include "wiener/BestQualityEnlarge.h"
#include "wiener/SetupTable.h"

struct fi_settings {
    fi::TEnlargeSettings Values;
    std::string Message;
    fi_progress_callback Progress = nullptr;
    void* ProgressData = nullptr;
};

namespace fi {
namespace {

// A refusal with its status; the message names what was refused.
class EStatus : public Exception {
public:
    EStatus(fi_status Code, const std::string& Message) : Exception(Message), Status(Code) {}
    fi_status Status;
};

[[noreturn]] void Refuse(const std::string& Message) { throw EStatus(FI_INVALID_ARGUMENT, Message); }

void Fail(fi_settings& S, const char* Message) {
    try {
        S.Message = Message;
    } catch (...) {
        S.Message.clear();
    }
}

// One call from the caller: the module's floating-point environment, and
// every failure turned into a status with the object's message.
template <class TBody>
fi_status Call(fi_settings* S, TBody&& Body) {
    if (S == nullptr) return FI_INVALID_ARGUMENT;
    TModuleEntry Entry;
    fi_status Status = FI_FAILED;
    try {
        S->Message.clear();
        Body(*S);
        return FI_OK;
    } catch (const EStatus& E) {
        Status = E.Status;
        Fail(*S, E.what());
    } catch (const EAbort&) {
        Status = FI_CANCELLED;
        Fail(*S, "cancelled by the progress callback");
    } catch (const std::bad_alloc&) {
        Status = FI_OUT_OF_MEMORY;
        Fail(*S, EOutOfMemory().what());
    } catch (const EOutOfMemory& E) {
        Status = FI_OUT_OF_MEMORY;
        Fail(*S, E.what());
    } catch (const std::exception& E) {
        Fail(*S, E.what());
    } catch (...) {
        Fail(*S, "unknown failure");
    }
    return Status;
}

std::string Quoted(const char* Text) { return std::string("\"") + Text + "\""; }

// A refused number as a caller would have written it.
std::string Shown(double Value) {
    char Text[32];
    std::snprintf(Text, sizeof Text, "%g", Value);
    return Text;
}

void CheckSetupHasScale(const fi_settings& S, const char* What) {
    if (!S.Values.TakesScale())
        Refuse(std::string(What) + ": the setup \"" + SetupNames[S.Values.Setup()] + "\" has a fixed scale");
}

// A number the field's rule refused.
[[noreturn]] void RefuseValue(const char* What, TNumericField Field, const std::string& Shown) {
    Refuse(std::string(What) + ": " + Shown + " is not accepted (" + TEnlargeSettings::RangeText(Field) + ")");
}

void SetText(fi_settings& S, TNumericField Field, const char* What, const char* Text) {
    if (Text == nullptr) Refuse(std::string(What) + ": no text");
    if (!S.Values.SetText(Field, Text)) RefuseValue(What, Field, Quoted(Text));
}

// One enlargement as its caller sees it: the engine's passes (a plane
// each, or a doubling each) share 0 .. 100 in turn, so that the percentage
// only grows. Each pass starts again from 0, which tells them apart.
struct TRun {
    const fi_settings* Settings;
    std::int32_t Passes;
    std::int32_t Pass = 0;
    std::int32_t Last = 0;
    std::int32_t Shown = 0;
};

// The calling thread's running enlargement, read by the forwarder.
const TThreadSlot& RunSlot() {
    static const TThreadSlot Slot;
    return Slot;
}

void Report(TRun& Run, std::int32_t Shown) {
    Run.Shown = Shown;
    int Answer = 1;
    {
        TForeignCall Caller;
        Answer = Run.Settings->Progress(int(Shown), Run.Settings->ProgressData);
    }
    if (Answer == 0) Abort();
}

void ForwardProgress(std::int32_t Percent) {
    TRun& Run = *static_cast<TRun*>(RunSlot().Get());
    if (Percent < Run.Last && Run.Pass + 1 < Run.Passes) ++Run.Pass;
    Run.Last = Percent;
    Report(Run, (Run.Pass * 100 + Percent) / Run.Passes);
}

// Points the thread's progress event at S's callback for one enlargement;
// a callback may itself enlarge with another object.
class TProgressRoute {
public:
    TProgressRoute(const fi_settings& S, std::int32_t Passes)
        : Run{&S, Passes}, SavedEvent(ProgressHook), SavedRun(RunSlot().Get()) {
        RunSlot().Set(&Run);
        ProgressHook = S.Progress != nullptr ? ForwardProgress : nullptr;
    }
    ~TProgressRoute() {
        ProgressHook = SavedEvent;
        RunSlot().Set(SavedRun);
    }
    TProgressRoute(const TProgressRoute&) = delete;
    TProgressRoute& operator=(const TProgressRoute&) = delete;

    // The end for a caller whose last pass stopped short of 100 (the best
    // quality's last steps report nothing).
    void Finish() {
        if (Run.Settings->Progress != nullptr && Run.Shown < 100) Report(Run, 100);
    }

private:
    TRun Run;
    TProgressEvent SavedEvent;
    void* SavedRun;
};

// Planes (one gray or red, green and blue) enlarged in place by the chosen
// way: the best quality at once, else the setup's plane by plane.
void EnlargeMaps(fi_settings& S, const std::vector<TFloatMap*>& Planes, TBitmapWienerInterpolation& I) {
    if (S.Values.Best()) {
        TProgressRoute Route(S, BestQualityDoublings(I.ScaleFactor));
        EnlargeBestQuality(Planes, I.ScaleFactor, S.Values.BestSettings());
        Route.Finish();
        return;
    }
    const TProgressRoute Route(S, std::int32_t(Planes.size()));
    for (TFloatMap* Map : Planes) EnlargeWithSettings(Map, S.Values.Setup(), I);
}

std::string Caption(fi_settings& S, const std::string& ImageName) {
    TBitmapWienerInterpolation& I = S.Values.Confirmed();
    if (!S.Values.Best()) return SettingsCaption(ImageName, I);
    return BestQualityCaption(ImageName, I.ScaleFactor, S.Values.BestSettings());
}

static_assert(FI_MAX_RESULT_PIXELS == MaxFloatMapElements, "the header states the engine's limit");

// The result must fit the engine's planes, which the result's own size
// bounds: every plane the engine makes is at most that large.
void CheckSize(int Width, int Height, std::int32_t Scale) {
    if (Width < 1 || Height < 1)
        Refuse("the size " + std::to_string(Width) + " x " + std::to_string(Height) + " is not an image");
    const std::int64_t W = std::int64_t(Width) * Scale, H = std::int64_t(Height) * Scale;
    if (!FitsFloatMap(W, H))
        Refuse("the result of " + std::to_string(W) + " x " + std::to_string(H) + " pixels is too large (at most " +
               std::to_string(MaxFloatMapElements) + " pixels)");
}

// Rows rows of Row elements of Size bytes, Stride elements apart; the last
// row's end must be addressable, so that no offset the copies compute
// overflows.
void CheckStride(const char* What, std::ptrdiff_t Stride, std::int64_t Row, std::int64_t Rows, std::size_t Size) {
    if (Stride < Row)
        Refuse(std::string(What) + " stride " + std::to_string(Stride) + " is shorter than a row of " +
               std::to_string(Row) + (Size == 1 ? " bytes" : " doubles"));
    if (Stride > (PTRDIFF_MAX / std::ptrdiff_t(Size) - Row) / Rows)
        Refuse(std::string(What) + " stride " + std::to_string(Stride) + " is too large for " + std::to_string(Rows) +
               " rows");
}

// Every sample of a source plane is a finite number: one infinity or NaN
// would spread through the filters' training to most of the result.
void CheckFinite(const std::string& What, const double* Source, int Width, int Height, std::ptrdiff_t Stride) {
    std::int64_t Count = 0;
    int FirstX = 0, FirstY = 0;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x)
            if (!std::isfinite(Source[y * Stride + x]) && Count++ == 0) {
                FirstX = x;
                FirstY = y;
            }
    if (Count > 0)
        Refuse(What + ": " + std::to_string(Count) + (Count == 1 ? " sample is" : " samples are") +
               " not finite (infinity or NaN; the first at x " + std::to_string(FirstX) + ", y " +
               std::to_string(FirstY) + ")");
}

// Count new Width x Height planes, owned by Maps.
std::vector<TFloatMap*> NewPlanes(int Count, int Width, int Height, std::vector<std::unique_ptr<TFloatMap>>& Maps) {
    std::vector<TFloatMap*> Planes;
    for (int c = 0; c < Count; ++c) {
        Maps.push_back(std::make_unique<TFloatMap>(Width, Height));
        Planes.push_back(Maps.back().get());
    }
    return Planes;
}

// Bytes as planes of doubles through the best quality, rounded back to
// nearest (ties to even) within 0 .. 255, as the command line writes them.
void EnlargeBytesBest(fi_settings& S, TBitmapWienerInterpolation& I, const std::uint8_t* Source, int Width,
                      int Height, int Channels, std::ptrdiff_t SourceStride, std::uint8_t* Result,
                      std::ptrdiff_t ResultStride) {
    std::vector<std::unique_ptr<TFloatMap>> Maps;
    const std::vector<TFloatMap*> Planes = NewPlanes(Channels, Width, Height, Maps);
    for (int c = 0; c < Channels; ++c)
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                Planes[c]->Map[std::ptrdiff_t(y) * Width + x] = Source[y * SourceStride + x * Channels + c];
    EnlargeMaps(S, Planes, I);
    const int W = Planes[0]->Width;
    for (int c = 0; c < Channels; ++c)
        for (int y = 0; y < Planes[0]->Height; ++y)
            for (int x = 0; x < W; ++x)
                Result[y * ResultStride + x * Channels + c] =
                    RoundToSample<std::uint8_t>(Planes[c]->Map[std::ptrdiff_t(y) * W + x]);
}

void EnlargeBytes(fi_settings& S, const std::uint8_t* Source, int Width, int Height, int Channels,
                  std::ptrdiff_t SourceStride, std::uint8_t* Result, std::ptrdiff_t ResultStride) {
    if (Source == nullptr || Result == nullptr) Refuse("no source or result buffer");
    if (Channels != 1 && Channels != 3) throw EStatus(FI_UNSUPPORTED_IMAGE, SUnsupportedImage);
    TBitmapWienerInterpolation& I = S.Values.Confirmed();
    CheckSize(Width, Height, I.ScaleFactor);
    CheckStride("source", SourceStride, std::int64_t(Width) * Channels, Height, 1);
    CheckStride("result", ResultStride, std::int64_t(Width) * I.ScaleFactor * Channels,
                std::int64_t(Height) * I.ScaleFactor, 1);
    if (S.Values.Best())
        return EnlargeBytesBest(S, I, Source, Width, Height, Channels, SourceStride, Result, ResultStride);
    const bool Gray = Channels == 1;
    // The plug-in's bitmaps: gray with the gray palette, colour as blue-green-red.
    TLinearBitmap Bitmap(Width, Height, Gray ? TPixelFormat::pf8bit : TPixelFormat::pf24bit);
    if (Gray) std::memcpy(Bitmap.Palette, GrayPalette, sizeof(TPalette));
    for (int y = 0; y < Height; ++y) {
        const std::uint8_t* In = Source + y * SourceStride;
        std::uint8_t* Out = Bitmap.Line(y);
        if (Gray) std::memcpy(Out, In, std::size_t(Width));
        else
            for (int x = 0; x < 3 * Width; x += 3) {
                Out[x] = In[x + 2];
                Out[x + 1] = In[x + 1];
                Out[x + 2] = In[x];
            }
    }
    {
        const TProgressRoute Route(S, 1);
        EnlargeWithSettings(&Bitmap, S.Values.Setup(), I);
    }
    for (int y = 0; y < Bitmap.Height; ++y) {
        const std::uint8_t* In = Bitmap.Line(y);
        std::uint8_t* Out = Result + y * ResultStride;
        if (Gray) std::memcpy(Out, In, std::size_t(Bitmap.Width));
        else
            for (int x = 0; x < 3 * Bitmap.Width; x += 3) {
                Out[x] = In[x + 2];
                Out[x + 1] = In[x + 1];
                Out[x + 2] = In[x];
            }
    }
}

void EnlargePlanes(fi_settings& S, const double* const* Sources, int Count, int Width, int Height,
                   std::ptrdiff_t SourceStride, double* const* Results, std::ptrdiff_t ResultStride) {
    if (Count != 1 && Count != 3) Refuse("planes: " + std::to_string(Count) + " is not accepted (1 or 3)");
    for (int c = 0; c < Count; ++c)
        if (Sources == nullptr || Results == nullptr || Sources[c] == nullptr || Results[c] == nullptr)
            Refuse("no source or result buffer");
    TBitmapWienerInterpolation& I = S.Values.Confirmed();
    CheckSize(Width, Height, I.ScaleFactor);
    CheckStride("source", SourceStride, Width, Height, sizeof(double));
    CheckStride("result", ResultStride, std::int64_t(Width) * I.ScaleFactor, std::int64_t(Height) * I.ScaleFactor,
                sizeof(double));
    for (int c = 0; c < Count; ++c)
        CheckFinite(Count == 1 ? std::string("source") : "source plane " + std::to_string(c), Sources[c], Width,
                    Height, SourceStride);
    std::vector<std::unique_ptr<TFloatMap>> Maps;
    const std::vector<TFloatMap*> Planes = NewPlanes(Count, Width, Height, Maps);
    for (int c = 0; c < Count; ++c)
        for (int y = 0; y < Height; ++y)
            std::memcpy(Planes[c]->RowPtr(y), Sources[c] + y * SourceStride, std::size_t(Width) * sizeof(double));
    EnlargeMaps(S, Planes, I);
    for (int c = 0; c < Count; ++c)
        for (int y = 0; y < Planes[c]->Height; ++y)
            std::memcpy(Results[c] + y * ResultStride, Planes[c]->RowPtr(y),
                        std::size_t(Planes[c]->Width) * sizeof(double));
}

} // namespace
} // namespace fi

using namespace fi;

extern "C" {

const char* fi_status_text(int status) {
    switch (status) {
    case FI_OK: return "success";
    case FI_INVALID_ARGUMENT: return "invalid argument";
    case FI_CANCELLED: return "cancelled";
    case FI_OUT_OF_MEMORY: return "out of memory";
    case FI_FAILED: return "failed";
    case FI_UNSUPPORTED_IMAGE: return SUnsupportedImage;
    }
    return "unknown status";
}

int fi_setup_count(void) { return SetupCount; }

const char* fi_setup_name(int index) { return index >= 0 && index < SetupCount ? SetupNames[index] : nullptr; }

int fi_setup_has_scale(int index) { return index >= 0 && index < SetupCount && SetupHasScale(index) ? 1 : 0; }

fi_status fi_settings_new(fi_settings** settings) {
    if (settings == nullptr) return FI_INVALID_ARGUMENT;
    *settings = nullptr;
    TModuleEntry Entry;
    try {
        *settings = new fi_settings;
        return FI_OK;
    } catch (const std::bad_alloc&) {
        return FI_OUT_OF_MEMORY;
    } catch (...) {
        return FI_FAILED;
    }
}

void fi_settings_free(fi_settings* settings) {
    if (settings == nullptr) return;
    TModuleEntry Entry;
    delete settings;
}

const char* fi_message(const fi_settings* settings) { return settings != nullptr ? settings->Message.c_str() : ""; }

fi_status fi_get_values(fi_settings* settings, fi_values* values) {
    return Call(settings, [&](fi_settings& S) {
        if (values == nullptr) Refuse("no values record");
        const TEnlargeSettings& V = S.Values;
        values->setup = V.Setup();
        values->scale = V.Scale();
        values->training_region = V.TrainingRegion();
        values->regularization = double(V.Regularization());
        values->filter_strength = double(V.FilterStrength());
        values->clamp_weights = V.ClampWeights();
        values->normalize_weights = V.NormalizeWeights();
        values->clamp_result = V.ClampResult();
    });
}

fi_status fi_set_setup(fi_settings* settings, int index) {
    return Call(settings, [&](fi_settings& S) {
        if (!S.Values.SelectSetup(index, S.Values.Scale()))
            Refuse("setup: " + std::to_string(index) + " is not a setup (a whole number from 0 to " +
                   std::to_string(SetupCount - 1) + ")");
    });
}

fi_status fi_set_setup_by_name(fi_settings* settings, const char* name) {
    const std::string Name = name != nullptr ? name : "";
    if (const std::int32_t Setup = SetupOfName(Name); Setup >= 0) return fi_set_setup(settings, Setup);
    return Call(settings, [&](fi_settings&) { Refuse("setup: " + Quoted(Name.c_str()) + " is not a setup"); });
}

fi_status fi_set_scale(fi_settings* settings, int scale) {
    return Call(settings, [&](fi_settings& S) {
        if (scale == S.Values.Scale()) return;
        CheckSetupHasScale(S, "scale");
        if (!S.Values.SetScale(scale)) RefuseValue("scale", TNumericField::Scale, std::to_string(scale));
    });
}

fi_status fi_set_training_region(fi_settings* settings, int size) {
    return Call(settings, [&](fi_settings& S) {
        if (!S.Values.SetTrainingRegion(size))
            RefuseValue("training region", TNumericField::TrainingRegion, std::to_string(size));
    });
}

fi_status fi_set_regularization(fi_settings* settings, double lambda) {
    return Call(settings, [&](fi_settings& S) {
        if (!S.Values.SetRegularization(lambda))
            RefuseValue("regularization", TNumericField::Regularization, Shown(lambda));
    });
}

fi_status fi_set_filter_strength(fi_settings* settings, double strength) {
    return Call(settings, [&](fi_settings& S) {
        if (!S.Values.SetFilterStrength(strength))
            RefuseValue("filter strength", TNumericField::FilterStrength, Shown(strength));
    });
}

fi_status fi_set_clamp_weights(fi_settings* settings, int on) {
    return Call(settings, [&](fi_settings& S) { S.Values.SetClampWeights(on != 0); });
}

fi_status fi_set_normalize_weights(fi_settings* settings, int on) {
    return Call(settings, [&](fi_settings& S) { S.Values.SetNormalizeWeights(on != 0); });
}

fi_status fi_set_clamp_result(fi_settings* settings, int on) {
    return Call(settings, [&](fi_settings& S) { S.Values.SetClampResult(on != 0); });
}

fi_status fi_set_text(fi_settings* settings, int field, const char* text) {
    return Call(settings, [&](fi_settings& S) {
        switch (field) {
        case FI_FIELD_SCALE:
            CheckSetupHasScale(S, "scale");
            return SetText(S, TNumericField::Scale, "scale", text);
        case FI_FIELD_TRAINING_REGION: return SetText(S, TNumericField::TrainingRegion, "training region", text);
        case FI_FIELD_REGULARIZATION: return SetText(S, TNumericField::Regularization, "regularization", text);
        case FI_FIELD_FILTER_STRENGTH: return SetText(S, TNumericField::FilterStrength, "filter strength", text);
        }
        Refuse("field " + std::to_string(field) + " is not a numeric field");
    });
}

fi_status fi_set_best_quality(fi_settings* settings, int on) {
    return Call(settings, [&](fi_settings& S) { S.Values.SetBest(on != 0); });
}

int fi_get_best_quality(const fi_settings* settings) { return settings != nullptr && settings->Values.Best() ? 1 : 0; }

fi_status fi_set_progress(fi_settings* settings, fi_progress_callback callback, void* user_data) {
    return Call(settings, [&](fi_settings& S) {
        S.Progress = callback;
        S.ProgressData = user_data;
    });
}

fi_status fi_enlarge_bytes(fi_settings* settings, const uint8_t* source, int width, int height, int channels,
                           ptrdiff_t source_stride, uint8_t* result, ptrdiff_t result_stride) {
    return Call(settings, [&](fi_settings& S) {
        EnlargeBytes(S, source, width, height, channels, source_stride, result, result_stride);
    });
}

fi_status fi_enlarge_plane(fi_settings* settings, const double* source, int width, int height,
                           ptrdiff_t source_stride, double* result, ptrdiff_t result_stride) {
    return Call(settings, [&](fi_settings& S) {
        EnlargePlanes(S, &source, 1, width, height, source_stride, &result, result_stride);
    });
}

fi_status fi_enlarge_planes(fi_settings* settings, const double* const* sources, int count, int width, int height,
                            ptrdiff_t source_stride, double* const* results, ptrdiff_t result_stride) {
    return Call(settings, [&](fi_settings& S) {
        EnlargePlanes(S, sources, count, width, height, source_stride, results, result_stride);
    });
}

fi_status fi_caption(fi_settings* settings, const char* image_name, char* buffer, size_t size, size_t* length) {
    return Call(settings, [&](fi_settings& S) {
        if (buffer == nullptr && size > 0) Refuse("no caption buffer");
        const std::string Text = Caption(S, image_name != nullptr ? image_name : "");
        if (length != nullptr) *length = Text.size();
        if (size == 0) return;
        const std::size_t Count = Text.size() < size ? Text.size() : size - 1;
        std::memcpy(buffer, Text.data(), Count);
        buffer[Count] = '\0';
    });
}

} // extern "C"
