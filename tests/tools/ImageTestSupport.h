#pragma once
// A scratch folder per test and images filled with patterns that reach
// every sample's extremes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/ImageConversion.h"
#include "tools/ImageFiles.h"

namespace fi::test {

class TScratchFolder : public ::testing::Test {
protected:
    std::filesystem::path Folder;

    void SetUp() override {
        std::string Template = (std::filesystem::temp_directory_path() / "fi-tools-XXXXXX").string();
        ASSERT_NE(::mkdtemp(Template.data()), nullptr);
        Folder = Template;
    }
    void TearDown() override { std::filesystem::remove_all(Folder); }

    std::string PathOf(const std::string& Name) const { return (Folder / Name).string(); }

    // Names in the folder, to see that no temporary file stayed behind.
    std::vector<std::string> Entries() const {
        std::vector<std::string> Names;
        for (const auto& Entry : std::filesystem::directory_iterator(Folder)) Names.push_back(Entry.path().filename());
        std::sort(Names.begin(), Names.end());
        return Names;
    }

    static std::vector<char> Load(const std::string& Path) {
        std::ifstream In(Path, std::ios::binary);
        return std::vector<char>(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
    }
    static void Save(const std::string& Path, const std::vector<char>& Bytes) {
        std::ofstream Out(Path, std::ios::binary);
        Out.write(Bytes.data(), std::streamsize(Bytes.size()));
    }
};

// Every sample differs from its neighbours and the extremes occur.
inline TImageData PatternImage(std::int32_t W, std::int32_t H, std::int32_t Channels, bool Alpha, TSampleType Type) {
    TImageData Image;
    Image.Allocate(W, H, Channels, Alpha, Type);
    const std::size_t Count = Image.SampleCount();
    for (std::size_t i = 0; i < Count; ++i) {
        const std::size_t k = i * 7919 + i / 3;
        switch (Type) {
        case TSampleType::st8bit: Image.Samples.U8()[i] = std::uint8_t(i == 0 ? 0 : i == 1 ? 255 : k % 256); break;
        case TSampleType::st16bit: Image.Samples.U16()[i] = std::uint16_t(i == 0 ? 0 : i == 1 ? 65535 : k * 31 % 65536); break;
        case TSampleType::stFloat64: Image.Samples.Float()[i] = (double(k % 1000) - 250.0) / 512.0; break;
        }
    }
    return Image;
}

// A smooth picture, for the lossy format.
inline TImageData SmoothImage(std::int32_t W, std::int32_t H, std::int32_t Channels) {
    TImageData Image;
    Image.Allocate(W, H, Channels, false, TSampleType::st8bit);
    for (std::int32_t y = 0; y < H; ++y)
        for (std::int32_t x = 0; x < W; ++x)
            for (std::int32_t c = 0; c < Channels; ++c)
                Image.Samples.U8()[(std::size_t(y) * W + x) * Channels + c] = std::uint8_t(40 + x + y + c * 20);
    return Image;
}

} // namespace fi::test
