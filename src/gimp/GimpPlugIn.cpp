// fractal-interpolation: the GIMP 2.10 plug-in. It registers one procedure
// beside Scale Image, takes its settings from the dialog, the last run or
// the caller's arguments, and enlarges the whole image through the C
// interface.
#include <libgimp/gimp.h>

#include <memory>
#include <string>

#include "gimp/ImageEnlargement.h"
#include "gimp/ParameterDialog.h"
#include "gimp/PlugInNames.h"

namespace fi::gimp {

namespace {

enum TArgument {
    aRunMode, aImage, aDrawable, aSetup, aScale, aRegion, aLambda, aFilter, aClampW, aNormW, aClampR, aBest, aCount
};

GimpParamDef Param(GimpPDBArgType Type, const char* Name, const char* Description) {
    return {Type, const_cast<gchar*>(Name), const_cast<gchar*>(Description)};
}

const char* const Help =
    "Enlarges the whole image (every layer, layer mask and channel, the selection and the canvas) by an integer "
    "factor with per-pixel Wiener filters trained on the image itself. 8-bit colour goes through the brightness "
    "and colour-difference planes, deeper images channel by channel; alpha is enlarged as its own plane. Setups "
    "0, 5 and 6 enlarge 2x and setup 1 4x; their scale argument must be that factor. With best-quality, the "
    "best quality measured on photographs takes the place of the setup: setup and the three switches are "
    "ignored, and colour of any depth goes through the brightness and colour-difference planes. Indexed images "
    "are not supported.";

// "0 Xin Li 2x, 1 Xin Li 4x, ..." and the setups whose scale is fixed, "0, 1, ...".
std::string SetupList(bool FixedScaleOnly) {
    std::string List;
    for (int i = 0; i < fi_setup_count(); ++i) {
        if (FixedScaleOnly && fi_setup_has_scale(i)) continue;
        List += (List.empty() ? "" : ", ") + std::to_string(i);
        if (!FixedScaleOnly) List += std::string(" ") + fi_setup_name(i);
    }
    return List;
}

void Query() {
    // GIMP copies the texts during the call.
    const std::string Setups = SetupList(false);
    const std::string Scale = "Scale factor (2 <= scale <= 16; the setup's own for setups " + SetupList(true) + ")";
    const GimpParamDef Args[aCount] = {
        Param(GIMP_PDB_INT32, "run-mode", "The run mode { RUN-INTERACTIVE (0), RUN-NONINTERACTIVE (1) }"),
        Param(GIMP_PDB_IMAGE, "image", "Input image"),
        Param(GIMP_PDB_DRAWABLE, "drawable", "Input drawable (unused: the whole image is enlarged)"),
        Param(GIMP_PDB_INT32, "setup", Setups.c_str()),
        Param(GIMP_PDB_INT32, "scale", Scale.c_str()),
        Param(GIMP_PDB_INT32, "training-region", "Training region size (1 <= training-region <= 100)"),
        Param(GIMP_PDB_FLOAT, "regularization", "Regularization (0 <= regularization <= 1)"),
        Param(GIMP_PDB_FLOAT, "filter-strength", "Artefact filter strength (0 <= filter-strength <= 100)"),
        Param(GIMP_PDB_INT32, "clamp-weights", "Clamp weights to [0;1] (TRUE or FALSE)"),
        Param(GIMP_PDB_INT32, "normalize-weights", "Normalize weights (TRUE or FALSE)"),
        Param(GIMP_PDB_INT32, "clamp-result", "Clamp result to source (TRUE or FALSE)"),
        Param(GIMP_PDB_INT32, "best-quality",
              "Best quality for photographs (TRUE or FALSE); when TRUE, setup and the switches are ignored, "
              "scale, training-region, regularization and filter-strength apply (13, 0.03 and 2 are its own)"),
    };
    gimp_install_procedure(ProcedureName, "Enlarge the image with Wiener filters trained on itself", Help,
                           "Fractal interpolation developers", "Fractal interpolation developers", "2026",
                           "Fractal interpolation...", "RGB*, GRAY*, INDEXED*", GIMP_PLUGIN, aCount, 0, Args,
                           nullptr);
    gimp_plugin_menu_register(ProcedureName, "<Image>/Image/Scale");
}

using TSettings = std::unique_ptr<fi_settings, decltype(&fi_settings_free)>;

TSettings NewSettings() {
    fi_settings* S = nullptr;
    const fi_status Status = fi_settings_new(&S);
    if (Status != FI_OK) throw EEnlargement(Status, fi_status_text(Status));
    return TSettings(S, fi_settings_free);
}

// What a run is given or remembers: the dialog's values and whether the
// best quality takes the place of the setup and the switches.
struct TChoice {
    fi_values Values;
    int Best;
};

// Settings in the dialog's order: the setup (or the best quality), its
// scale, then the rest.
fi_status Apply(fi_settings* S, const TChoice& C) {
    const fi_values& V = C.Values;
    fi_status Status = C.Best ? fi_set_best_quality(S, 1) : fi_set_setup(S, V.setup);
    if (Status == FI_OK) Status = fi_set_scale(S, V.scale);
    if (Status == FI_OK) Status = fi_set_training_region(S, V.training_region);
    if (Status == FI_OK) Status = fi_set_regularization(S, V.regularization);
    if (Status == FI_OK) Status = fi_set_filter_strength(S, V.filter_strength);
    if (C.Best) return Status;
    if (Status == FI_OK) Status = fi_set_clamp_weights(S, V.clamp_weights);
    if (Status == FI_OK) Status = fi_set_normalize_weights(S, V.normalize_weights);
    if (Status == FI_OK) Status = fi_set_clamp_result(S, V.clamp_result);
    return Status;
}

// A switch argument is 0 or 1; anything else is refused rather than read as on.
void CheckSwitch(const GimpParam& Arg, const char* Name) {
    if (Arg.data.d_int32 != 0 && Arg.data.d_int32 != 1)
        throw EEnlargement(FI_INVALID_ARGUMENT, std::string(Name) + ": " + std::to_string(Arg.data.d_int32) +
                                                    " is not accepted (TRUE or FALSE)");
}

TChoice Arguments(gint Count, const GimpParam* Args) {
    if (Count != aCount)
        throw EEnlargement(FI_INVALID_ARGUMENT, std::string(ProcedureName) + " takes " + std::to_string(aCount) +
                                                    " arguments, not " + std::to_string(Count));
    CheckSwitch(Args[aClampW], "clamp-weights");
    CheckSwitch(Args[aNormW], "normalize-weights");
    CheckSwitch(Args[aClampR], "clamp-result");
    CheckSwitch(Args[aBest], "best-quality");
    return {{Args[aSetup].data.d_int32, Args[aScale].data.d_int32, Args[aRegion].data.d_int32,
             Args[aLambda].data.d_float, Args[aFilter].data.d_float, Args[aClampW].data.d_int32,
             Args[aNormW].data.d_int32, Args[aClampR].data.d_int32},
            Args[aBest].data.d_int32};
}

// The last run's choice; the values alone from a build before the best
// quality, which was off then.
bool Remembered(TChoice& Last) {
    const gsize Size = gimp_get_data_size(ProcedureName);
    if (Size != sizeof Last && Size != sizeof Last.Values) return false;
    Last.Best = 0;
    return Size == sizeof Last ? gimp_get_data(ProcedureName, &Last) : gimp_get_data(ProcedureName, &Last.Values);
}

// The settings of this run; false when the user cancelled the dialog.
bool Prepare(TSettings& Settings, GimpRunMode Mode, gint Count, const GimpParam* Args) {
    fi_settings* S = Settings.get();
    if (Mode == GIMP_RUN_NONINTERACTIVE) {
        if (Apply(S, Arguments(Count, Args)) != FI_OK) throw EEnlargement(FI_INVALID_ARGUMENT, fi_message(S));
        return true;
    }
    // Values remembered by another build may no longer be accepted; the
    // dialog's defaults stand in for them then.
    TChoice Last{};
    if (Remembered(Last) && Apply(S, Last) != FI_OK) {
        Settings = NewSettings();
        S = Settings.get();
    }
    if (Mode == GIMP_RUN_INTERACTIVE && !RunParameterDialog(S)) return false;
    TChoice Now{};
    Now.Best = fi_get_best_quality(S);
    if (fi_get_values(S, &Now.Values) == FI_OK) gimp_set_data(ProcedureName, &Now, sizeof Now);
    return true;
}

void Run(const gchar*, gint Count, const GimpParam* Args, gint* ReturnCount, GimpParam** Returned) {
    static GimpParam Values[2];
    static std::string Message;
    *ReturnCount = 1;
    *Returned = Values;
    Values[0].type = GIMP_PDB_STATUS;
    Values[0].data.d_status = GIMP_PDB_SUCCESS;

    const auto Mode = GimpRunMode(Count > aRunMode ? Args[aRunMode].data.d_int32 : GIMP_RUN_NONINTERACTIVE);
    gegl_init(nullptr, nullptr);
    try {
        TSettings Settings = NewSettings();
        if (!Prepare(Settings, Mode, Count, Args)) {
            Values[0].data.d_status = GIMP_PDB_CANCEL;
            return;
        }
        EnlargeImage(Args[aImage].data.d_image, Settings.get());
        if (Mode != GIMP_RUN_NONINTERACTIVE) gimp_displays_flush();
    } catch (const std::exception& E) {
        Message = E.what();
        const auto* Failure = dynamic_cast<const EEnlargement*>(&E);
        const bool Calling = Failure != nullptr && Failure->Status == FI_INVALID_ARGUMENT;
        Values[0].data.d_status = Calling ? GIMP_PDB_CALLING_ERROR : GIMP_PDB_EXECUTION_ERROR;
        // The caller reads the message: a dialog for the user, the error
        // return for a script.
        if (Mode == GIMP_RUN_INTERACTIVE) gimp_message(Message.c_str());
        *ReturnCount = 2;
        Values[1].type = GIMP_PDB_STRING;
        Values[1].data.d_string = const_cast<gchar*>(Message.c_str());
    }
}

} // namespace

} // namespace fi::gimp

const GimpPlugInInfo PLUG_IN_INFO = {nullptr, nullptr, fi::gimp::Query, fi::gimp::Run};

int main(int argc, char* argv[]) { return gimp_main(&PLUG_IN_INFO, argc, argv); }
