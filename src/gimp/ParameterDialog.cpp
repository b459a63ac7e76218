#include "gimp/ParameterDialog.h"

#include <libgimp/gimp.h>
#include <libgimp/gimpui.h>

#include <array>
#include <cstdio>
#include <string>

#include "gimp/PlugInNames.h"

namespace fi::gimp {

namespace {

struct TField {
    fi_field Id;
    const char* Label;
    GtkWidget* Entry = nullptr;
    bool Accepted = true;
};

struct TDialog {
    fi_settings* Settings;
    GtkWidget* Window = nullptr;
    GtkWidget* Best = nullptr;
    GtkWidget* Setup = nullptr;
    std::array<TField, 4> Fields{{{FI_FIELD_SCALE, "Scale factor:"},
                                  {FI_FIELD_TRAINING_REGION, "Training region size:"},
                                  {FI_FIELD_REGULARIZATION, "Regularization:"},
                                  {FI_FIELD_FILTER_STRENGTH, "Artefact filter strength:"}}};
    GtkWidget* ClampWeights = nullptr;
    GtkWidget* NormalizeWeights = nullptr;
    GtkWidget* ClampResult = nullptr;
    // Set while the dialog writes its own controls, whose signals then
    // must not write back.
    bool Filling = false;
};

std::string Shown(double Value) {
    char Text[32];
    std::snprintf(Text, sizeof Text, "%g", Value);
    return Text;
}

void MarkAccepted(TField& F, bool Accepted) {
    F.Accepted = Accepted;
    // The Windows dialog's warning colour, dark red.
    static const GdkColor DarkRed{0, 0x8000, 0, 0};
    gtk_widget_modify_text(F.Entry, GTK_STATE_NORMAL, Accepted ? nullptr : &DarkRed);
}

void UpdateOk(TDialog& D) {
    bool All = true;
    for (const TField& F : D.Fields) All = All && F.Accepted;
    gtk_dialog_set_response_sensitive(GTK_DIALOG(D.Window), GTK_RESPONSE_OK, All);
}

// Shows the settings' values; the field being typed into keeps its text.
void Fill(TDialog& D, const TField* Typing) {
    fi_values V;
    if (fi_get_values(D.Settings, &V) != FI_OK) return;
    const bool Best = fi_get_best_quality(D.Settings) != 0;
    D.Filling = true;
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(D.Best), Best);
    gtk_combo_box_set_active(GTK_COMBO_BOX(D.Setup), V.setup);
    const std::array<std::string, 4> Texts{std::to_string(V.scale), std::to_string(V.training_region),
                                           Shown(V.regularization), Shown(V.filter_strength)};
    for (std::size_t i = 0; i < D.Fields.size(); ++i) {
        TField& F = D.Fields[i];
        if (&F == Typing) continue;
        gtk_entry_set_text(GTK_ENTRY(F.Entry), Texts[i].c_str());
        MarkAccepted(F, true);
    }
    gtk_widget_set_sensitive(D.Fields[0].Entry, fi_setup_has_scale(V.setup));
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(D.ClampWeights), V.clamp_weights);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(D.NormalizeWeights), V.normalize_weights);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(D.ClampResult), V.clamp_result);
    // The best quality has no setup and no switches of its own to choose.
    for (GtkWidget* W : {D.Setup, D.ClampWeights, D.NormalizeWeights, D.ClampResult})
        gtk_widget_set_sensitive(W, !Best);
    D.Filling = false;
    UpdateOk(D);
}

void SetupChanged(GtkComboBox* Combo, gpointer Data) {
    auto& D = *static_cast<TDialog*>(Data);
    if (D.Filling) return;
    // A setup brings its own values, as in the Windows dialog.
    if (fi_set_setup(D.Settings, gtk_combo_box_get_active(Combo)) == FI_OK) Fill(D, nullptr);
}

void BestToggled(GtkToggleButton* Button, gpointer Data) {
    auto& D = *static_cast<TDialog*>(Data);
    if (D.Filling) return;
    // On, it brings its own values; off, the fields stay for the setup.
    if (fi_set_best_quality(D.Settings, gtk_toggle_button_get_active(Button)) == FI_OK) Fill(D, nullptr);
}

void FieldChanged(GtkEditable* Entry, gpointer Data) {
    auto& D = *static_cast<TDialog*>(Data);
    if (D.Filling) return;
    for (TField& F : D.Fields) {
        if (F.Entry != GTK_WIDGET(Entry)) continue;
        const bool Accepted = fi_set_text(D.Settings, F.Id, gtk_entry_get_text(GTK_ENTRY(Entry))) == FI_OK;
        MarkAccepted(F, Accepted);
        // A new scale runs the setup again, which resets the other fields.
        if (Accepted && F.Id == FI_FIELD_SCALE) Fill(D, &F);
    }
    UpdateOk(D);
}

void SwitchToggled(GtkToggleButton* Button, gpointer Data) {
    auto& D = *static_cast<TDialog*>(Data);
    if (D.Filling) return;
    const int On = gtk_toggle_button_get_active(Button);
    if (GTK_WIDGET(Button) == D.ClampWeights) fi_set_clamp_weights(D.Settings, On);
    else if (GTK_WIDGET(Button) == D.NormalizeWeights) fi_set_normalize_weights(D.Settings, On);
    else fi_set_clamp_result(D.Settings, On);
}

GtkWidget* AddSwitch(TDialog& D, GtkWidget* Box, const char* Label) {
    GtkWidget* Button = gtk_check_button_new_with_label(Label);
    gtk_box_pack_start(GTK_BOX(Box), Button, FALSE, FALSE, 0);
    g_signal_connect(Button, "toggled", G_CALLBACK(SwitchToggled), &D);
    return Button;
}

void Build(TDialog& D) {
    D.Window = gimp_dialog_new("Fractal interpolation", PlugInBinary, nullptr, GtkDialogFlags(0),
                               gimp_standard_help_func, ProcedureName, "_Cancel", GTK_RESPONSE_CANCEL, "_OK",
                               GTK_RESPONSE_OK, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(D.Window), GTK_RESPONSE_OK);
    gimp_window_set_transient(GTK_WINDOW(D.Window));

    GtkWidget* Box = gtk_vbox_new(FALSE, 6);
    gtk_container_set_border_width(GTK_CONTAINER(Box), 12);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(D.Window))), Box, TRUE, TRUE, 0);

    D.Best = gtk_check_button_new_with_label("Best quality for photographs");
    gtk_box_pack_start(GTK_BOX(Box), D.Best, FALSE, FALSE, 0);
    g_signal_connect(D.Best, "toggled", G_CALLBACK(BestToggled), &D);

    GtkWidget* Table = gtk_table_new(5, 2, FALSE);
    gtk_table_set_col_spacings(GTK_TABLE(Table), 12);
    gtk_table_set_row_spacings(GTK_TABLE(Table), 6);
    gtk_box_pack_start(GTK_BOX(Box), Table, FALSE, FALSE, 0);

    D.Setup = gtk_combo_box_text_new();
    for (int i = 0; i < fi_setup_count(); ++i) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(D.Setup), fi_setup_name(i));
    gimp_table_attach_aligned(GTK_TABLE(Table), 0, 0, "Setup:", 0.0, 0.5, D.Setup, 1, FALSE);
    g_signal_connect(D.Setup, "changed", G_CALLBACK(SetupChanged), &D);

    for (std::size_t i = 0; i < D.Fields.size(); ++i) {
        TField& F = D.Fields[i];
        F.Entry = gtk_entry_new();
        gtk_entry_set_width_chars(GTK_ENTRY(F.Entry), 10);
        gtk_entry_set_activates_default(GTK_ENTRY(F.Entry), TRUE);
        gimp_table_attach_aligned(GTK_TABLE(Table), 0, int(i) + 1, F.Label, 0.0, 0.5, F.Entry, 1, FALSE);
        g_signal_connect(F.Entry, "changed", G_CALLBACK(FieldChanged), &D);
    }

    D.ClampWeights = AddSwitch(D, Box, "Clamp weights to [0;1]");
    D.NormalizeWeights = AddSwitch(D, Box, "Normalize weights");
    D.ClampResult = AddSwitch(D, Box, "Clamp result to source");
    gtk_widget_show_all(Box);
}

} // namespace

bool RunParameterDialog(fi_settings* Settings) {
    gimp_ui_init(PlugInBinary, FALSE);
    TDialog D{Settings};
    Build(D);
    Fill(D, nullptr);
    const bool Ok = gimp_dialog_run(GIMP_DIALOG(D.Window)) == GTK_RESPONSE_OK;
    gtk_widget_destroy(D.Window);
    return Ok;
}

} // namespace fi::gimp
