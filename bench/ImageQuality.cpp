// fi_quality TRUTH RESULT: how close an enlargement comes to the photo it was
// made from. Prints the PSNR of the BT.601 luma, the PSNR over the red, green
// and blue samples, and the mean SSIM of the luma (11 x 11 Gaussian window,
// sigma 1.5), all over the image less a 4-pixel border. Both images are 8-bit
// RGB (or gray) of one size.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/ImageFiles.h"

namespace {

constexpr int Border = 4;

struct TPlane {
    int Width = 0;
    int Height = 0;
    std::vector<double> Values;
    double At(int x, int y) const { return Values[std::size_t(y) * std::size_t(Width) + std::size_t(x)]; }
};

fi::TImageData Read(const std::string& Name) {
    fi::TImageData Image = fi::ReadImageFile(Name);
    if (Image.Samples.Type() != fi::TSampleType::st8bit || Image.HasAlpha)
        throw std::runtime_error(Name + ": 8-bit gray or RGB without alpha expected");
    return Image;
}

// Sample c (0 .. 2) of pixel i; gray images give their one sample.
double Sample(const fi::TImageData& Image, std::size_t i, int c) {
    return Image.Samples.U8()[i * std::size_t(Image.Channels) + std::size_t(Image.Channels == 1 ? 0 : c)];
}

TPlane Luma(const fi::TImageData& Image) {
    TPlane P{Image.Width, Image.Height, {}};
    P.Values.resize(std::size_t(Image.Width) * std::size_t(Image.Height));
    for (std::size_t i = 0; i < P.Values.size(); ++i)
        P.Values[i] = 0.299 * Sample(Image, i, 0) + 0.587 * Sample(Image, i, 1) + 0.114 * Sample(Image, i, 2);
    return P;
}

double Psnr(double SquaredError, double Count) { return 10.0 * std::log10(255.0 * 255.0 / (SquaredError / Count)); }

// Mean SSIM over the windows centred inside the cropped area.
double Ssim(const TPlane& A, const TPlane& B) {
    constexpr int Radius = 5;
    double Kernel[2 * Radius + 1];
    double KernelSum = 0.0;
    for (int k = -Radius; k <= Radius; ++k) KernelSum += Kernel[k + Radius] = std::exp(-k * k / (2.0 * 1.5 * 1.5));
    for (double& k : Kernel) k /= KernelSum;
    const double C1 = (0.01 * 255) * (0.01 * 255), C2 = (0.03 * 255) * (0.03 * 255);
    const int Margin = std::max(Border, Radius);
    double Total = 0.0;
    int Count = 0;
    for (int y = Margin; y < A.Height - Margin; ++y)
        for (int x = Margin; x < A.Width - Margin; ++x) {
            double Ma = 0, Mb = 0, Saa = 0, Sbb = 0, Sab = 0;
            for (int dy = -Radius; dy <= Radius; ++dy)
                for (int dx = -Radius; dx <= Radius; ++dx) {
                    const double W = Kernel[dy + Radius] * Kernel[dx + Radius];
                    const double a = A.At(x + dx, y + dy), b = B.At(x + dx, y + dy);
                    Ma += W * a;
                    Mb += W * b;
                    Saa += W * a * a;
                    Sbb += W * b * b;
                    Sab += W * a * b;
                }
            const double Va = Saa - Ma * Ma, Vb = Sbb - Mb * Mb, Cov = Sab - Ma * Mb;
            Total += (2 * Ma * Mb + C1) * (2 * Cov + C2) / ((Ma * Ma + Mb * Mb + C1) * (Va + Vb + C2));
            ++Count;
        }
    return Total / Count;
}

int Run(const std::string& TruthName, const std::string& ResultName) {
    const fi::TImageData Truth = Read(TruthName), Result = Read(ResultName);
    if (Truth.Width != Result.Width || Truth.Height != Result.Height)
        throw std::runtime_error("the images differ in size");
    const TPlane Ty = Luma(Truth), Ry = Luma(Result);
    double LumaError = 0.0, RgbError = 0.0;
    double Count = 0.0;
    for (int y = Border; y < Truth.Height - Border; ++y)
        for (int x = Border; x < Truth.Width - Border; ++x) {
            const std::size_t i = std::size_t(y) * std::size_t(Truth.Width) + std::size_t(x);
            LumaError += (Ty.Values[i] - Ry.Values[i]) * (Ty.Values[i] - Ry.Values[i]);
            for (int c = 0; c < 3; ++c) {
                const double e = Sample(Truth, i, c) - Sample(Result, i, c);
                RgbError += e * e;
            }
            ++Count;
        }
    std::printf("%.4f %.4f %.5f\n", Psnr(LumaError, Count), Psnr(RgbError, 3 * Count), Ssim(Ty, Ry));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fi_quality TRUTH RESULT\n");
        return 2;
    }
    try {
        return Run(argv[1], argv[2]);
    } catch (const std::exception& E) {
        std::fprintf(stderr, "fi_quality: %s\n", E.what());
        return 1;
    }
}
