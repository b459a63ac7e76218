#include "Screenshot.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace fi::test {

namespace {

std::uint32_t Crc32(const std::uint8_t* Data, std::size_t Size, std::uint32_t Crc = 0xFFFFFFFFu) {
    for (std::size_t i = 0; i < Size; ++i) {
        Crc ^= Data[i];
        for (int Bit = 0; Bit < 8; ++Bit) Crc = (Crc >> 1) ^ (0xEDB88320u & (0u - (Crc & 1u)));
    }
    return Crc;
}

void Put32(std::vector<std::uint8_t>& Out, std::uint32_t V) {
    for (int Shift = 24; Shift >= 0; Shift -= 8) Out.push_back(std::uint8_t(V >> Shift));
}

void Chunk(std::vector<std::uint8_t>& Out, const char* Type, const std::vector<std::uint8_t>& Data) {
    Put32(Out, std::uint32_t(Data.size()));
    std::vector<std::uint8_t> Body(Type, Type + 4);
    Body.insert(Body.end(), Data.begin(), Data.end());
    Out.insert(Out.end(), Body.begin(), Body.end());
    Put32(Out, Crc32(Body.data(), Body.size()) ^ 0xFFFFFFFFu);
}

// RGB rows as an uncompressed PNG (stored deflate blocks).
std::vector<std::uint8_t> EncodePng(int Width, int Height, const std::vector<std::uint8_t>& Rgb) {
    std::vector<std::uint8_t> Raw;
    for (int Y = 0; Y < Height; ++Y) {
        Raw.push_back(0);
        Raw.insert(Raw.end(), Rgb.begin() + std::ptrdiff_t(Y) * Width * 3, Rgb.begin() + std::ptrdiff_t(Y + 1) * Width * 3);
    }
    std::vector<std::uint8_t> Z{0x78, 0x01};
    std::size_t At = 0;
    do {
        const std::size_t Block = std::min<std::size_t>(65535, Raw.size() - At);
        Z.push_back(At + Block == Raw.size() ? 1 : 0);
        Z.push_back(std::uint8_t(Block));
        Z.push_back(std::uint8_t(Block >> 8));
        Z.push_back(std::uint8_t(~Block));
        Z.push_back(std::uint8_t(~Block >> 8));
        Z.insert(Z.end(), Raw.begin() + std::ptrdiff_t(At), Raw.begin() + std::ptrdiff_t(At + Block));
        At += Block;
    } while (At < Raw.size());
    std::uint32_t A = 1, B = 0;
    for (std::uint8_t V : Raw) {
        A = (A + V) % 65521;
        B = (B + A) % 65521;
    }
    Put32(Z, (B << 16) | A);

    std::vector<std::uint8_t> Png{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<std::uint8_t> Header;
    Put32(Header, std::uint32_t(Width));
    Put32(Header, std::uint32_t(Height));
    Header.insert(Header.end(), {8, 2, 0, 0, 0});
    Chunk(Png, "IHDR", Header);
    Chunk(Png, "IDAT", Z);
    Chunk(Png, "IEND", {});
    return Png;
}

} // namespace

bool SaveWindowScreenshot(HWND Window, const std::string& Name) {
    RECT R;
    if (!GetWindowRect(Window, &R)) return false;
    const int Width = R.right - R.left, Height = R.bottom - R.top;
    if (Width <= 0 || Height <= 0) return false;
    HDC Screen = GetDC(nullptr);
    HDC Memory = CreateCompatibleDC(Screen);
    BITMAPINFO Info{};
    Info.bmiHeader.biSize = sizeof Info.bmiHeader;
    Info.bmiHeader.biWidth = Width;
    Info.bmiHeader.biHeight = -Height; // top-down rows
    Info.bmiHeader.biPlanes = 1;
    Info.bmiHeader.biBitCount = 32;
    void* Bits = nullptr;
    HBITMAP Bitmap = CreateDIBSection(Screen, &Info, DIB_RGB_COLORS, &Bits, nullptr, 0);
    HGDIOBJ Old = SelectObject(Memory, Bitmap);
    BitBlt(Memory, 0, 0, Width, Height, Screen, R.left, R.top, SRCCOPY);
    GdiFlush();
    std::vector<std::uint8_t> Rgb(std::size_t(Width) * Height * 3);
    const auto* Pixels = static_cast<const std::uint8_t*>(Bits);
    for (std::size_t i = 0; i < std::size_t(Width) * Height; ++i) {
        Rgb[3 * i] = Pixels[4 * i + 2];
        Rgb[3 * i + 1] = Pixels[4 * i + 1];
        Rgb[3 * i + 2] = Pixels[4 * i];
    }
    SelectObject(Memory, Old);
    DeleteObject(Bitmap);
    DeleteDC(Memory);
    ReleaseDC(nullptr, Screen);

    CreateDirectoryA("screenshots", nullptr);
    const std::vector<std::uint8_t> Png = EncodePng(Width, Height, Rgb);
    FILE* File = std::fopen(("screenshots/" + Name + ".png").c_str(), "wb");
    if (!File) return false;
    const bool Written = std::fwrite(Png.data(), 1, Png.size(), File) == Png.size();
    return std::fclose(File) == 0 && Written;
}

} // namespace fi::test
