#pragma once
// The parameter dialog: one of the interpolation setups, the scale where
// the setup allows it, and the fine-tuning of the training region, the
// regularisation, the artefact filter and three weight/result options. The
// dialog is a view of its settings object, which owns the interpolator: the
// controls show the settings, and OK writes them back.
#include <memory>

#include "ui/StdControls.h"
#include "ui/StyleForm.h"
#include "ui/ValueEdits.h"
#include "settings/EnlargeSettings.h"

namespace fi {

inline constexpr const char* SParamFormCaption = "Wiener filter interpolation";
inline constexpr const char* SNotImplemented = "Not implemented";

class TWienerResizeParamForm : public TStyleForm {
public:
    TWienerResizeParamForm();
    ~TWienerResizeParamForm() override;
    const char* ClassName() const override { return "TWienerResizeParamForm"; }

    TButton* OKButton;
    TButton* CancelButton;
    TFloatEdit* LambdaEdit;
    TLabel* Label1;
    TCheckBox* ClampWeightsCheckBox;
    TCheckBox* NormalizeWeightsCheckBox;
    TLabel* Label2;
    TIntegerEdit* TrainingRegionEdit;
    TCheckBox* ClampResultCheckBox;
    TLabel* Label3;
    TFloatEdit* FilterEdit;
    TLabel* Label4;
    TComboBox* SetupComboBox;
    TBevel* Bevel1;
    TIntegerEdit* ScaleEdit;
    TLabel* Label5;

    void EditChangeValue(TValueEdit& Sender);
    void FormCreate(TForm& Sender);
    void FormDestroy(TForm& Sender);
    void OKButtonClick(TControl& Sender);
    void SetupComboBoxChange(TComboBox& Sender);
    void ScaleEditChangeValue(TValueEdit& Sender);

    // What the driver reads after OK: the setup's place in the list and the settings.
    int SetupIndex() const { return SetupComboBox->ItemIndex(); }
    TBitmapWienerInterpolation& WienerInterpolator() { return Model->Interpolator(); }
    TInterpolatorSettings Settings() const { return ReadSettings(Model->Interpolator()); }

    bool HandleMessage(TMessage& Message) override;

private:
    // OK is enabled exactly while all four numeric fields hold accepted values.
    void UpdateOKButton();

    std::unique_ptr<TEnlargeSettings> Model;
};

// The module's one parameter dialog, none until first used; it keeps its
// settings from one run to the next.
extern TWienerResizeParamForm* ParamForm;
// ParamForm, created when it does not exist yet.
TWienerResizeParamForm& GetParamForm();
// Shows ParamForm modally; true when the user pressed OK.
bool ExecuteParamForm();
// Module end: frees ParamForm.
void FreeParamForm();

} // namespace fi
