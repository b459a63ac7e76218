#include "ui/WienerResizeParamFormEngine.h"

#include "wiener/FloatMapWienerInterpolation.h"

namespace fi {

void TInterpolatorDeleter::operator()(TBitmapWienerInterpolation* Interpolator) const { delete Interpolator; }

TInterpolatorPtr NewInterpolator() { return TInterpolatorPtr(new TBitmapWienerInterpolation); }

bool ApplySetup(TBitmapWienerInterpolation& I, int Index, std::int32_t Scale) {
    switch (Index) {
    case 0:
        I.SetupXinLi2x();
        return true;
    case 1:
        I.SetupXinLi4x();
        return true;
    case 2:
        I.SetupFractalStar(Scale);
        return true;
    case 3:
        I.SetupFractalSquare(Scale, 1);
        return true;
    case 4:
        I.SetupFractalSquare(Scale, 2);
        return true;
    case 5:
        I.SetupFractalStarXinLi();
        return true;
    case 6:
        I.SetupFractalSquareXinLi(1);
        return true;
    default:
        return false;
    }
}

TInterpolatorSettings ReadSettings(const TBitmapWienerInterpolation& I) {
    TInterpolatorSettings S;
    S.ScaleFactor = I.ScaleFactor;
    S.TrainingRegion = I.TrainingRegion;
    S.Lambda = I.Lambda;
    S.FilterStrength = I.FilterStrength;
    S.ClampWeights = I.ClampWeights;
    S.NormalizeWeights = I.NormalizeWeights;
    S.ClampResult = I.ClampResult;
    return S;
}

void WriteFineTuning(TBitmapWienerInterpolation& I, const TInterpolatorSettings& S) {
    I.TrainingRegion = S.TrainingRegion;
    I.Lambda = S.Lambda;
    I.FilterStrength = S.FilterStrength;
    I.ClampWeights = S.ClampWeights;
    I.NormalizeWeights = S.NormalizeWeights;
    I.ClampResult = S.ClampResult;
}

} // namespace fi
