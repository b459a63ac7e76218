#include "settings/EnlargeSettings.h"

namespace fi {

TEnlargeSettings::TEnlargeSettings() { SelectSetup(DefaultSetup, FScale); }

void TEnlargeSettings::LoadSetupDefaults() {
    const TInterpolatorSettings I = ReadSettings(FInterpolator);
    FScale = I.ScaleFactor;
    FTrainingRegion = I.TrainingRegion;
    FRegularization = I.Lambda;
    FFilterStrength = I.FilterStrength;
    FClampWeights = I.ClampWeights;
    FNormalizeWeights = I.NormalizeWeights;
    FClampResult = I.ClampResult;
}

bool TEnlargeSettings::SelectSetup(std::int32_t Index, std::int32_t Scale) {
    if (!ApplySetup(FInterpolator, Index, Scale)) return false;
    FSetup = Index;
    FBest = false;
    LoadSetupDefaults();
    return true;
}

bool TEnlargeSettings::SetScale(std::int32_t Scale) {
    if (Scale == FScale) return true;
    if (!TakesScale() || !ScaleRule.Within(Scale)) return false;
    const std::int32_t Region = FTrainingRegion;
    const long double Lambda = FRegularization, Filter = FFilterStrength;
    const bool Best = FBest;
    SelectSetup(FSetup, Scale);
    if (Best) PutBestFields(Region, Lambda, Filter);
    return true;
}

bool TEnlargeSettings::SetTrainingRegion(std::int32_t Size) {
    if (!TrainingRegionRule.Within(Size)) return false;
    FTrainingRegion = Size;
    return true;
}

bool TEnlargeSettings::SetRegularization(long double Lambda) {
    if (!RegularizationRule.Within(Lambda)) return false;
    FRegularization = Lambda;
    return true;
}

bool TEnlargeSettings::SetFilterStrength(long double Strength) {
    if (!FilterStrengthRule.Within(Strength)) return false;
    FFilterStrength = Strength;
    return true;
}

void TEnlargeSettings::SetClampWeights(bool On) {
    FClampWeights = On;
    FBest = false;
}

void TEnlargeSettings::SetNormalizeWeights(bool On) {
    FNormalizeWeights = On;
    FBest = false;
}

void TEnlargeSettings::SetClampResult(bool On) {
    FClampResult = On;
    FBest = false;
}

bool TEnlargeSettings::SetText(TNumericField Field, const std::string& Text) {
    switch (Field) {
    case TNumericField::Scale: {
        const std::optional<std::int32_t> Scale = AcceptedInteger(ScaleRule, Text);
        return Scale && TakesScale() && SetScale(*Scale);
    }
    case TNumericField::TrainingRegion: {
        const std::optional<std::int32_t> Size = AcceptedInteger(TrainingRegionRule, Text);
        return Size && SetTrainingRegion(*Size);
    }
    case TNumericField::Regularization: {
        const std::optional<long double> Lambda = AcceptedFloat(RegularizationRule, Text);
        return Lambda && SetRegularization(*Lambda);
    }
    case TNumericField::FilterStrength: {
        const std::optional<long double> Strength = AcceptedFloat(FilterStrengthRule, Text);
        return Strength && SetFilterStrength(*Strength);
    }
    }
    return false;
}

std::string TEnlargeSettings::RangeText(TNumericField Field) {
    switch (Field) {
    case TNumericField::Scale: return fi::RangeText(ScaleRule);
    case TNumericField::TrainingRegion: return fi::RangeText(TrainingRegionRule);
    case TNumericField::Regularization: return fi::RangeText(RegularizationRule);
    case TNumericField::FilterStrength: return fi::RangeText(FilterStrengthRule);
    }
    return {};
}

void TEnlargeSettings::PutBestFields(std::int32_t Region, long double Lambda, long double Filter) {
    FTrainingRegion = Region;
    FRegularization = Lambda;
    FFilterStrength = Filter;
    FClampWeights = false;
    FNormalizeWeights = false;
    FClampResult = false;
    FBest = true;
}

void TEnlargeSettings::SetBest(bool On) {
    if (On) {
        const TBestQualitySettings B;
        SelectSetup(DefaultSetup, FScale);
        PutBestFields(2 * B.RegionRadius + 1, B.Lambda, B.FilterStrength);
    }
    FBest = On;
}

TBestQualitySettings TEnlargeSettings::BestSettings() const {
    TBestQualitySettings B;
    B.RegionRadius = FTrainingRegion / 2;
    B.Lambda = double(FRegularization);
    B.FilterStrength = float(FFilterStrength);
    return B;
}

TBitmapWienerInterpolation& TEnlargeSettings::Confirmed() {
    TInterpolatorSettings I = ReadSettings(FInterpolator);
    I.TrainingRegion = FTrainingRegion;
    I.Lambda = double(FRegularization);
    I.FilterStrength = float(FFilterStrength);
    I.ClampWeights = FClampWeights;
    I.NormalizeWeights = FNormalizeWeights;
    I.ClampResult = FClampResult;
    WriteFineTuning(FInterpolator, I);
    return FInterpolator;
}

} // namespace fi
