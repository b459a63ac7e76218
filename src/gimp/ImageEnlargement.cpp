#include "gimp/ImageEnlargement.h"

#include <libgimp/gimp.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace fi::gimp {

namespace {

using TBytes = std::vector<std::uint8_t>;

void Check(fi_settings* Settings, fi_status Status) {
    if (Status != FI_OK) throw EEnlargement(Status, fi_message(Settings));
}

// How a drawable's samples go through the engine: 8 bits the bitmap way;
// deeper integers the float way with their values kept (as the command line
// keeps a file's), floating-point samples as they are. The best quality's
// parameters are measured on 8-bit samples: deeper ones are brought to that
// scale and back, as the command line does.
enum class TSampleKind { Byte, Word, Long, Real };

double ToEngineScale(TSampleKind Kind, bool Best) {
    if (!Best) return 1.0;
    switch (Kind) {
    case TSampleKind::Byte: break;
    case TSampleKind::Word: return 255.0 / 65535.0;
    case TSampleKind::Long: return 255.0 / 4294967295.0;
    case TSampleKind::Real: return 255.0;
    }
    return 1.0;
}

struct TLayout {
    const Babl* Format;
    TSampleKind Kind;
    int Components;
    bool Alpha;
};

TLayout LayoutOf(std::int32_t Drawable) {
    const Babl* Native = gimp_drawable_get_format(Drawable);
    const std::string Type = babl_get_name(babl_format_get_type(Native, 0));
    TLayout L{Native, TSampleKind::Real, babl_format_get_n_components(Native), babl_format_has_alpha(Native) != 0};
    if (Type == "u8") L.Kind = TSampleKind::Byte;
    else if (Type == "u16") L.Kind = TSampleKind::Word;
    else if (Type == "u32") L.Kind = TSampleKind::Long;
    else {
        const std::string Model = babl_get_name(babl_format_get_model(Native));
        L.Format = babl_format_with_space((Model + " double").c_str(), Native);
    }
    return L;
}

// The groups of channels that go through the engine together, as (first,
// count): colour and alpha for bytes and for the best quality (which takes
// colour as three planes), else each channel alone.
std::vector<std::pair<int, int>> GroupsOf(const TLayout& L, bool Best) {
    std::vector<std::pair<int, int>> Groups;
    const int Colour = L.Alpha ? L.Components - 1 : L.Components;
    if (L.Kind == TSampleKind::Byte || Best) {
        Groups.emplace_back(0, Colour);
        if (L.Alpha) Groups.emplace_back(Colour, 1);
    } else {
        for (int c = 0; c < L.Components; ++c) Groups.emplace_back(c, 1);
    }
    return Groups;
}

// The engine runs one drawable takes, for the progress bar.
int PassesOf(const TLayout& L, bool Best) { return int(GroupsOf(L, Best).size()); }

// One progress bar over every pass of the run.
struct TProgress {
    int Done = 0;
    int Total = 1;

    static int Report(int Percent, void* Data) {
        const auto& P = *static_cast<const TProgress*>(Data);
        gimp_progress_update((P.Done + Percent / 100.0) / P.Total);
        return 1;
    }
};

TBytes ReadPixels(std::int32_t Drawable, const TLayout& L, int Width, int Height) {
    TBytes Pixels(std::size_t(Width) * Height * babl_format_get_bytes_per_pixel(L.Format));
    GeglBuffer* Buffer = gimp_drawable_get_buffer(Drawable);
    const GeglRectangle Area{0, 0, Width, Height};
    gegl_buffer_get(Buffer, &Area, 1.0, L.Format, Pixels.data(), GEGL_AUTO_ROWSTRIDE, GEGL_ABYSS_NONE);
    g_object_unref(Buffer);
    return Pixels;
}

// Through the shadow buffer, whose merge is what GIMP's undo records; the
// merge covers the selection only, which the caller has emptied.
void WritePixels(std::int32_t Drawable, const TLayout& L, int Width, int Height, const TBytes& Pixels) {
    GeglBuffer* Shadow = gimp_drawable_get_shadow_buffer(Drawable);
    const GeglRectangle Area{0, 0, Width, Height};
    gegl_buffer_set(Shadow, &Area, 0, L.Format, Pixels.data(), GEGL_AUTO_ROWSTRIDE);
    g_object_unref(Shadow);
    gimp_drawable_merge_shadow(Drawable, TRUE);
    gimp_drawable_free_shadow(Drawable);
    gimp_drawable_update(Drawable, 0, 0, Width, Height);
}

// Samples Offset, Offset + Step, ... of In as a packed plane and back.
template <class T>
std::vector<T> Gather(const T* In, std::size_t Count, int Step, int Offset, int Width) {
    std::vector<T> Plane(Count * std::size_t(Width));
    for (std::size_t i = 0; i < Plane.size() / Width; ++i)
        for (int c = 0; c < Width; ++c) Plane[i * Width + c] = In[i * Step + Offset + c];
    return Plane;
}

template <class T>
void Scatter(const std::vector<T>& Plane, T* Out, int Step, int Offset, int Width) {
    for (std::size_t i = 0; i < Plane.size() / Width; ++i)
        for (int c = 0; c < Width; ++c) Out[i * Step + Offset + c] = Plane[i * Width + c];
}

TBytes EnlargeBytes(fi_settings* S, TProgress& P, const TLayout& L, const TBytes& In, int W, int H, int Scale) {
    const int N = L.Components;
    const std::size_t Pixels = std::size_t(W) * H, Big = Pixels * Scale * Scale;
    TBytes Out(Big * N);
    // Colour as one bitmap (its brightness plane), alpha as another.
    for (const auto& [Offset, Width] : GroupsOf(L, false)) {
        const TBytes Plane = Gather(In.data(), Pixels, N, Offset, Width);
        TBytes Result(Big * Width);
        Check(S, fi_enlarge_bytes(S, Plane.data(), W, H, Width, W * Width, Result.data(), W * Scale * Width));
        Scatter(Result, Out.data(), N, Offset, Width);
        ++P.Done;
    }
    return Out;
}

template <class T>
TBytes EnlargeSamples(fi_settings* S, TProgress& P, const TLayout& L, const TBytes& In, int W, int H, int Scale,
                      bool Best) {
    const int N = L.Components;
    const std::size_t Pixels = std::size_t(W) * H, Big = Pixels * Scale * Scale;
    const double ToEngine = ToEngineScale(L.Kind, Best);
    TBytes Out(Big * N * sizeof(T));
    std::vector<T> Samples(Pixels * N), Enlarged(Big * N);
    std::memcpy(Samples.data(), In.data(), In.size());
    for (const auto& [Offset, Width] : GroupsOf(L, Best)) {
        std::vector<std::vector<double>> Planes(Width, std::vector<double>(Pixels)), Results(Width);
        std::vector<const double*> Sources;
        std::vector<double*> Targets;
        for (int c = 0; c < Width; ++c) {
            // Scaling by 1 changes no value.
            for (std::size_t p = 0; p < Pixels; ++p) Planes[c][p] = double(Samples[p * N + Offset + c]) * ToEngine;
            Results[c].resize(Big);
            Sources.push_back(Planes[c].data());
            Targets.push_back(Results[c].data());
        }
        Check(S, fi_enlarge_planes(S, Sources.data(), Width, W, H, W, Targets.data(), std::ptrdiff_t(W) * Scale));
        for (int c = 0; c < Width; ++c)
            for (std::size_t p = 0; p < Big; ++p) {
                const double v = Results[c][p] / ToEngine;
                T& Sample = Enlarged[p * N + Offset + c];
                if constexpr (std::is_floating_point_v<T>) {
                    Sample = T(v);
                } else {
                    // Round to nearest, ties to even, as the command line writes integer samples.
                    const double Max = double(std::numeric_limits<T>::max());
                    const double r = std::nearbyint(v);
                    Sample = T(r > Max ? Max : (!(r >= 0.0) ? 0.0 : r));
                }
            }
        ++P.Done;
    }
    std::memcpy(Out.data(), Enlarged.data(), Out.size());
    return Out;
}

TBytes EnlargePixels(fi_settings* S, TProgress& P, const TLayout& L, const TBytes& In, int W, int H, int Scale,
                     bool Best) {
    switch (L.Kind) {
    case TSampleKind::Byte: return EnlargeBytes(S, P, L, In, W, H, Scale);
    case TSampleKind::Word: return EnlargeSamples<std::uint16_t>(S, P, L, In, W, H, Scale, Best);
    case TSampleKind::Long: return EnlargeSamples<std::uint32_t>(S, P, L, In, W, H, Scale, Best);
    case TSampleKind::Real: break;
    }
    return EnlargeSamples<double>(S, P, L, In, W, H, Scale, Best);
}

// A drawable read before any size changes, and its enlargement.
struct TDrawable {
    std::int32_t Id;
    TLayout Layout;
    int Width, Height;
    TBytes Pixels;
};

TDrawable ReadDrawable(std::int32_t Id, int Width, int Height) {
    const TLayout L = LayoutOf(Id);
    return {Id, L, Width, Height, ReadPixels(Id, L, Width, Height)};
}

void Enlarge(fi_settings* S, TProgress& P, TDrawable& D, int Scale, bool Best) {
    D.Pixels = EnlargePixels(S, P, D.Layout, D.Pixels, D.Width, D.Height, Scale, Best);
    D.Width *= Scale;
    D.Height *= Scale;
}

void Write(const TDrawable& D) { WritePixels(D.Id, D.Layout, D.Width, D.Height, D.Pixels); }

// The image's layers without the groups, which follow their children.
void CollectLayers(const gint32* Items, gint Count, std::vector<std::int32_t>& Layers) {
    for (gint i = 0; i < Count; ++i) {
        if (gimp_item_is_group(Items[i])) {
            gint ChildCount = 0;
            gint32* Children = gimp_item_get_children(Items[i], &ChildCount);
            CollectLayers(Children, ChildCount, Layers);
            g_free(Children);
        } else {
            Layers.push_back(Items[i]);
        }
    }
}

std::vector<std::int32_t> Layers(std::int32_t Image) {
    gint Count = 0;
    gint32* Top = gimp_image_get_layers(Image, &Count);
    std::vector<std::int32_t> All;
    CollectLayers(Top, Count, All);
    g_free(Top);
    return All;
}

std::vector<std::int32_t> Channels(std::int32_t Image) {
    gint Count = 0;
    gint32* Ids = gimp_image_get_channels(Image, &Count);
    std::vector<std::int32_t> All(Ids, Ids + Count);
    g_free(Ids);
    // The selection last: it is emptied while the others are written.
    if (!gimp_selection_is_empty(Image)) All.push_back(gimp_image_get_selection(Image));
    return All;
}

// Ends the undo group however the run ends.
class TUndoGroup {
public:
    explicit TUndoGroup(std::int32_t Image) : Id(Image) { gimp_image_undo_group_start(Id); }
    ~TUndoGroup() { gimp_image_undo_group_end(Id); }
    TUndoGroup(const TUndoGroup&) = delete;
    TUndoGroup& operator=(const TUndoGroup&) = delete;

private:
    std::int32_t Id;
};

} // namespace

void EnlargeImage(std::int32_t Image, fi_settings* S) {
    if (gimp_image_base_type(Image) == GIMP_INDEXED)
        throw EEnlargement(FI_UNSUPPORTED_IMAGE, fi_status_text(FI_UNSUPPORTED_IMAGE));
    fi_values V;
    Check(S, fi_get_values(S, &V));
    const int Scale = V.scale, W = gimp_image_width(Image), H = gimp_image_height(Image);
    const bool Best = fi_get_best_quality(S) != 0;
    if (std::int64_t(W) * Scale > GIMP_MAX_IMAGE_SIZE || std::int64_t(H) * Scale > GIMP_MAX_IMAGE_SIZE)
        throw EEnlargement(FI_INVALID_ARGUMENT, "the enlarged image would be larger than GIMP allows (" +
                                                    std::to_string(GIMP_MAX_IMAGE_SIZE) + " pixels a side)");

    // Everything is read first: resizing the canvas pads the channels, and
    // resizing a layer pads its mask.
    struct TLayerWork {
        TDrawable Layer;
        std::vector<TDrawable> Mask;
        gint X, Y;
    };
    std::vector<TLayerWork> LayerWork;
    for (const std::int32_t Id : Layers(Image)) {
        TLayerWork Work{ReadDrawable(Id, gimp_drawable_width(Id), gimp_drawable_height(Id)), {}, 0, 0};
        gimp_drawable_offsets(Id, &Work.X, &Work.Y);
        if (const std::int32_t Mask = gimp_layer_get_mask(Id); Mask != -1)
            Work.Mask.push_back(ReadDrawable(Mask, Work.Layer.Width, Work.Layer.Height));
        LayerWork.push_back(std::move(Work));
    }
    std::vector<TDrawable> ChannelWork;
    for (const std::int32_t Id : Channels(Image)) ChannelWork.push_back(ReadDrawable(Id, W, H));

    TProgress Progress;
    Progress.Total = 0;
    for (const TLayerWork& L : LayerWork)
        Progress.Total += PassesOf(L.Layer.Layout, Best) + (L.Mask.empty() ? 0 : PassesOf(L.Mask[0].Layout, Best));
    for (const TDrawable& C : ChannelWork) Progress.Total += PassesOf(C.Layout, Best);
    if (Progress.Total == 0) Progress.Total = 1;
    gimp_progress_init("Fractal interpolation");
    Check(S, fi_set_progress(S, TProgress::Report, &Progress));

    // The engine's work comes before the first change, so that a failure
    // leaves the image as it was.
    for (TLayerWork& L : LayerWork) {
        Enlarge(S, Progress, L.Layer, Scale, Best);
        for (TDrawable& M : L.Mask) Enlarge(S, Progress, M, Scale, Best);
    }
    for (TDrawable& C : ChannelWork) Enlarge(S, Progress, C, Scale, Best);
    Check(S, fi_set_progress(S, nullptr, nullptr));

    const TUndoGroup Undo(Image);
    gimp_selection_none(Image);
    gimp_image_resize(Image, W * Scale, H * Scale, 0, 0);
    for (const TLayerWork& L : LayerWork) {
        gimp_layer_resize(L.Layer.Id, L.Layer.Width, L.Layer.Height, 0, 0);
        gimp_layer_set_offsets(L.Layer.Id, L.X * Scale, L.Y * Scale);
        Write(L.Layer);
        for (const TDrawable& M : L.Mask) Write(M);
    }
    for (const TDrawable& C : ChannelWork) Write(C);
    // Paths follow the pixels, scaled about the canvas origin.
    gint PathCount = 0;
    gint* Paths = gimp_image_get_vectors(Image, &PathCount);
    for (gint i = 0; i < PathCount; ++i) gimp_item_transform_2d(Paths[i], 0, 0, Scale, Scale, 0, 0, 0);
    g_free(Paths);
    gimp_progress_update(1.0);
}

} // namespace fi::gimp
