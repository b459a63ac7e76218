#pragma once
// The settings of an enlargement as every front end edits them: one of the
// setups, the scale where the setup takes one, the fine-tuning (training
// region, regularisation, artefact filter and three switches) and the choice
// of the best-quality enlargement instead of the setup's. Choosing a setup,
// or a new scale, loads the setup's defaults. The parameter dialog is a view
// of one; the command line and the C interface use their own. Objects share
// nothing: each may be changed on a thread of its own.
#include <cstdint>
#include <string>

#include "settings/FieldRules.h"
#include "wiener/BestQualityEnlarge.h"
#include "wiener/SetupTable.h"

namespace fi {

// The fields that take a number or a formula.
enum class TNumericField { Scale, TrainingRegion, Regularization, FilterStrength };

class TEnlargeSettings {
public:
    static constexpr TIntegerRule ScaleRule{2, 16};
    static constexpr TIntegerRule TrainingRegionRule{1, 100};
    static constexpr TFloatRule RegularizationRule{0.0L, 1.0L};
    static constexpr TFloatRule FilterStrengthRule{0.0L, 100.0L};

    // The default setup at scale 2.
    TEnlargeSettings();

    std::int32_t Setup() const { return FSetup; }
    bool TakesScale() const { return SetupHasScale(FSetup); }
    std::int32_t Scale() const { return FScale; }
    std::int32_t TrainingRegion() const { return FTrainingRegion; }
    long double Regularization() const { return FRegularization; }
    long double FilterStrength() const { return FFilterStrength; }
    bool ClampWeights() const { return FClampWeights; }
    bool NormalizeWeights() const { return FNormalizeWeights; }
    bool ClampResult() const { return FClampResult; }
    bool Best() const { return FBest; }

    // Runs setup Index with Scale where the setup takes one and loads its
    // defaults; the setup's own scale otherwise. Leaves the best quality.
    // False for an index outside the list, changing nothing.
    bool SelectSetup(std::int32_t Index, std::int32_t Scale);
    // A new scale runs the setup again. The best quality's parameters do not
    // depend on the scale: they stay. False, changing nothing, when the setup
    // fixes its scale or Scale is outside ScaleRule; the same scale changes
    // nothing.
    bool SetScale(std::int32_t Scale);
    // False, changing nothing, outside the field's rule.
    bool SetTrainingRegion(std::int32_t Size);
    bool SetRegularization(long double Lambda);
    bool SetFilterStrength(long double Strength);
    // A switch belongs to the setups: setting one leaves the best quality.
    void SetClampWeights(bool On);
    void SetNormalizeWeights(bool On);
    void SetClampResult(bool On);
    // Text as typed into the field: a formula or a number the field's rule
    // accepts; false, changing nothing, otherwise or for the scale of a setup
    // that fixes it. The scale's text is taken as SetScale takes a number.
    bool SetText(TNumericField Field, const std::string& Text);
    // The values Field accepts, for a refusal's message.
    static std::string RangeText(TNumericField Field);

    // The best quality on the default setup, whose fields hold its region,
    // regularisation and filter (the switches off, which it does not use);
    // off: back to the setup's own enlargement, the fields as they are.
    void SetBest(bool On);
    // The best quality's parameters as the fields hold them; an even region
    // size stands for the odd one below it.
    TBestQualitySettings BestSettings() const;

    // The interpolator as the setup left it, with the fine-tuning last confirmed.
    TBitmapWienerInterpolation& Interpolator() { return FInterpolator; }
    const TBitmapWienerInterpolation& Interpolator() const { return FInterpolator; }
    // Writes the fields' fine-tuning into the interpolator (the scale is the
    // setup's) and returns it.
    TBitmapWienerInterpolation& Confirmed();

private:
    void LoadSetupDefaults();
    void PutBestFields(std::int32_t Region, long double Lambda, long double Filter);

    TBitmapWienerInterpolation FInterpolator;
    std::int32_t FSetup = DefaultSetup;
    std::int32_t FScale = 2;
    std::int32_t FTrainingRegion = 1;
    long double FRegularization = 0;
    long double FFilterStrength = 0;
    bool FClampWeights = false;
    bool FNormalizeWeights = false;
    bool FClampResult = false;
    bool FBest = false;
};

} // namespace fi
