#include "ui/WienerResizeParamForm.h"

#include <string>

namespace fi {

namespace {

// Labels size themselves to their text at about 6 pixels a character.
TLabel& AddLabel(TForm& Form, const char* Name, const char* Text, int Left, int Top) {
    TLabel& L = Form.Add<TLabel>();
    L.Name = Name;
    L.SetCaption(Text);
    L.SetBounds(Left, Top, int(std::string(Text).size()) * 6, 13);
    return L;
}

TCheckBox& AddCheckBox(TForm& Form, const char* Name, const char* Text, int Top) {
    TCheckBox& C = Form.Add<TCheckBox>();
    C.Name = Name;
    C.SetCaption(Text);
    C.SetBounds(12, Top, 173, 17);
    return C;
}

} // namespace

TWienerResizeParamForm::TWienerResizeParamForm() {
    Name = "WienerResizeParamForm";
    SetCaption(SParamFormCaption);
    BorderStyle = TBorderStyle::bsDialog;
    Position = TFormPosition::poScreenCenter;
    Font.Name = "Tahoma";
    Font.Height = -11;
    Font.Charset = 1;
    PixelsPerInch = 96;
    OnCreate = [this](TForm& Sender) { FormCreate(Sender); };
    // The designed size comes first, so that the anchored controls keep
    // their designed places.
    Loaded();
    SetClientSize(249, 259);

    // Windows are made in this order, which is the tab order.
    OKButton = &Add<TButton>();
    OKButton->Name = "OKButton";
    OKButton->SetCaption("OK");
    OKButton->SetBounds(83, 224, 75, 25);
    OKButton->Anchors = akRight | akBottom;
    OKButton->Default = true;
    OKButton->OnClick = [this](TControl& Sender) { OKButtonClick(Sender); };

    CancelButton = &Add<TButton>();
    CancelButton->Name = "CancelButton";
    CancelButton->SetCaption("Cancel");
    CancelButton->SetBounds(161, 224, 75, 25);
    CancelButton->Anchors = akRight | akBottom;
    CancelButton->Cancel = true;
    CancelButton->ModalResult = mrCancel;

    SetupComboBox = &Add<TComboBox>();
    SetupComboBox->Name = "SetupComboBox";
    SetupComboBox->SetBounds(92, 8, 145, 21);
    SetupComboBox->ItemHeight = 13;
    for (const char* Item : SetupNames) SetupComboBox->AddItem(Item);
    SetupComboBox->SetItemIndex(DefaultSetup);
    SetupComboBox->OnChange = [this](TComboBox& Sender) { SetupComboBoxChange(Sender); };

    ScaleEdit = &Add<TIntegerEdit>();
    ScaleEdit->Name = "ScaleEdit";
    ScaleEdit->SetBounds(172, 48, 65, 21);
    ScaleEdit->SetMin(TEnlargeSettings::ScaleRule.Min);
    ScaleEdit->SetMax(TEnlargeSettings::ScaleRule.Max);
    ScaleEdit->SetSpinIncrement(1);
    ScaleEdit->SetValue(2);
    ScaleEdit->OnChangeValue = [this](TValueEdit& Sender) { ScaleEditChangeValue(Sender); };

    TrainingRegionEdit = &Add<TIntegerEdit>();
    TrainingRegionEdit->Name = "TrainingRegionEdit";
    TrainingRegionEdit->SetBounds(172, 72, 65, 21);
    TrainingRegionEdit->SetMin(TEnlargeSettings::TrainingRegionRule.Min);
    TrainingRegionEdit->SetMax(TEnlargeSettings::TrainingRegionRule.Max);
    TrainingRegionEdit->SetSpinIncrement(1);
    TrainingRegionEdit->SetValue(1);
    TrainingRegionEdit->OnChangeValue = [this](TValueEdit& Sender) { EditChangeValue(Sender); };

    LambdaEdit = &Add<TFloatEdit>();
    LambdaEdit->Name = "LambdaEdit";
    LambdaEdit->SetBounds(172, 96, 65, 21);
    LambdaEdit->SetMin(TEnlargeSettings::RegularizationRule.Min);
    LambdaEdit->SetMax(TEnlargeSettings::RegularizationRule.Max);
    // A negative increment is a factor: each step doubles or halves.
    LambdaEdit->SetSpinIncrement(-2);
    LambdaEdit->SetFormatString("0.#####e+");
    LambdaEdit->OnChangeValue = [this](TValueEdit& Sender) { EditChangeValue(Sender); };

    FilterEdit = &Add<TFloatEdit>();
    FilterEdit->Name = "FilterEdit";
    FilterEdit->SetBounds(172, 120, 65, 21);
    FilterEdit->SetMin(TEnlargeSettings::FilterStrengthRule.Min);
    FilterEdit->SetMax(TEnlargeSettings::FilterStrengthRule.Max);
    FilterEdit->SetSpinIncrement(1.0L);
    FilterEdit->SetFormatString("0.##");
    FilterEdit->OnChangeValue = [this](TValueEdit& Sender) { EditChangeValue(Sender); };

    ClampWeightsCheckBox = &AddCheckBox(*this, "ClampWeightsCheckBox", "Clamp weights to [0;1]", 148);
    NormalizeWeightsCheckBox = &AddCheckBox(*this, "NormalizeWeightsCheckBox", "Normalize weights", 172);
    ClampResultCheckBox = &AddCheckBox(*this, "ClampResultCheckBox", "Clamp result to source", 196);

    Label4 = &AddLabel(*this, "Label4", "Setup:", 12, 12);
    Label5 = &AddLabel(*this, "Label5", "Scale factor:", 12, 51);
    Label2 = &AddLabel(*this, "Label2", "Training region size:", 12, 75);
    Label1 = &AddLabel(*this, "Label1", "Regularization:", 12, 99);
    Label3 = &AddLabel(*this, "Label3", "Artefact filter strength:", 12, 123);

    Bevel1 = &Add<TBevel>();
    Bevel1->Name = "Bevel1";
    Bevel1->SetBounds(0, 0, 249, 40);
    Bevel1->Anchors = akLeft | akTop | akRight;

    CenterOnScreen();
    DoCreate();
}

TWienerResizeParamForm::~TWienerResizeParamForm() {
    // The base runs its destroy event after this object's fields are gone;
    // the settings are freed here while they still exist.
    FormDestroy(*this);
}

void TWienerResizeParamForm::FormCreate(TForm&) {
    Model = std::make_unique<TEnlargeSettings>();
    SetupComboBoxChange(*SetupComboBox);
}

void TWienerResizeParamForm::FormDestroy(TForm&) { Model.reset(); }

void TWienerResizeParamForm::SetupComboBoxChange(TComboBox&) {
    // The setups with a fixed scale show it in the disabled scale edit.
    const int Index = SetupComboBox->ItemIndex();
    if (Index >= 0 && Index < SetupCount) ScaleEdit->SetEnabled(SetupHasScale(Index));
    if (!Model->SelectSetup(Index, ScaleEdit->Value())) throw Exception(SNotImplemented);
    const TEnlargeSettings& M = *Model;
    // Setters clamp and raise no value events. The scale is written back
    // only when the setup changed it (rewriting it would replace what the
    // user is typing into it on every keystroke) or fixes it: a fixed scale
    // is shown, and valid, whatever was typed before.
    if (ScaleEdit->Value() != M.Scale() || !M.TakesScale()) ScaleEdit->SetValue(M.Scale());
    TrainingRegionEdit->SetValue(M.TrainingRegion());
    LambdaEdit->SetValue(M.Regularization());
    FilterEdit->SetValue(M.FilterStrength());
    ClampWeightsCheckBox->SetChecked(M.ClampWeights());
    NormalizeWeightsCheckBox->SetChecked(M.NormalizeWeights());
    ClampResultCheckBox->SetChecked(M.ClampResult());
    // The setters made the rewritten fields valid without an event.
    UpdateOKButton();
}

void TWienerResizeParamForm::ScaleEditChangeValue(TValueEdit&) { SetupComboBoxChange(*SetupComboBox); }

void TWienerResizeParamForm::EditChangeValue(TValueEdit&) { UpdateOKButton(); }

void TWienerResizeParamForm::UpdateOKButton() {
    OKButton->SetEnabled(ScaleEdit->Valid() && LambdaEdit->Valid() && TrainingRegionEdit->Valid() &&
                         FilterEdit->Valid());
}

void TWienerResizeParamForm::OKButtonClick(TControl&) {
    // OK is enabled only while the fields hold accepted values, which the
    // settings' rules share.
    Model->SetTrainingRegion(TrainingRegionEdit->Value());
    Model->SetRegularization(LambdaEdit->Value());
    Model->SetFilterStrength(FilterEdit->Value());
    Model->SetClampWeights(ClampWeightsCheckBox->Checked());
    Model->SetNormalizeWeights(NormalizeWeightsCheckBox->Checked());
    Model->SetClampResult(ClampResultCheckBox->Checked());
    // The scale stays as the last setup call left it.
    Model->Confirmed();
    ModalResult = mrOk;
}

bool TWienerResizeParamForm::HandleMessage(TMessage& Message) {
    return RouteControlMessage(*this, Message) || TStyleForm::HandleMessage(Message);
}

// ---- the module's instance ----------------------------------------------------------

TWienerResizeParamForm* ParamForm = nullptr;

namespace {
std::unique_ptr<TWienerResizeParamForm>& ParamFormHolder() {
    // The application object is made first, so it outlives the dialog.
    Application();
    static std::unique_ptr<TWienerResizeParamForm> Holder;
    return Holder;
}
} // namespace

TWienerResizeParamForm& GetParamForm() {
    auto& Holder = ParamFormHolder();
    if (!Holder) {
        Holder = std::make_unique<TWienerResizeParamForm>();
        // Owned by the host's main window, as every window of the module is.
        Holder->OwnerWindow = Application().Handle();
    }
    ParamForm = Holder.get();
    return *Holder;
}

bool ExecuteParamForm() { return GetParamForm().ShowModal() == mrOk; }

void FreeParamForm() {
    ParamForm = nullptr;
    ParamFormHolder().reset();
}

} // namespace fi
