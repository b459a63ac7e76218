#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

#include "crash/VersionInfo.h"

namespace fi {
namespace {

// A version block as the version API answers for it: path -> value bytes.
class TFakeBlock {
public:
    TFakeBlock() {
        std::uint32_t Fixed[13] = {0xFEEF04BD, 0x00010000, 0x00030001, 0x07DA0000, 0x00030001, 0x07DA0000};
        Put("\\\\", Fixed, sizeof Fixed);
        const std::uint32_t Translation = 0x04E40409; // language 0409, code page 04E4
        Put("\\\\VarFileInfo\\\\Translation", &Translation, 4);
        Text("CompanyName", "Norvane");
        Text("ProductName", "Fractal interpolation");
        Text("FileVersion", "3.1.2010.0");
    }
    void Put(const std::string& Path, const void* Data, std::size_t Size) {
        Values[Path].assign(static_cast<const char*>(Data), static_cast<const char*>(Data) + Size);
    }
    void Text(const char* Name, const char* Value) {
        Put(std::string("\\\\StringFileInfo\\\\040904E4\\\\") + Name, Value, std::strlen(Value) + 1);
    }
    TVersionQuery Query() {
        return [this](const std::string& Path, const void*& Value, std::uint32_t& Length) {
            const auto Found = Values.find(Path);
            if (Found == Values.end()) return false;
            Value = Found->second.data();
            Length = std::uint32_t(Found->second.size());
            return true;
        };
    }
    std::map<std::string, std::vector<char>> Values;
};

TEST(VersionInfo, NumbersTextsAndTheVersionTextOrder) {
    TFakeBlock Block;
    const TVersionInfo Info = DecodeVersionInfo("host.exe", Block.Query());
    EXPECT_EQ(Info.FileVersion[0], 3);
    EXPECT_EQ(Info.FileVersion[1], 1);
    EXPECT_EQ(Info.FileVersion[2], 2010);
    EXPECT_EQ(Info.FileVersion[3], 0);
    EXPECT_EQ(VersionText(Info), "3.1.0 2010");
    EXPECT_EQ(Info.CompanyName, "Norvane");
    EXPECT_EQ(Info.ProductName, "Fractal interpolation");
    EXPECT_EQ(Info.FileVersionText, "3.1.2010.0");
    EXPECT_EQ(Info.LegalCopyright, ""); // absent texts stay empty
}

TEST(VersionInfo, MalformedBlocksRaise) {
    TFakeBlock WrongSize;
    std::uint32_t Short[12] = {0xFEEF04BD};
    WrongSize.Put("\\\\", Short, sizeof Short);
    EXPECT_THROW(DecodeVersionInfo("a.exe", WrongSize.Query()), Exception);

    TFakeBlock WrongSignature;
    std::uint32_t Fixed[13] = {0xFEEF04BE};
    WrongSignature.Put("\\\\", Fixed, sizeof Fixed);
    EXPECT_THROW(DecodeVersionInfo("a.exe", WrongSignature.Query()), Exception);

    TFakeBlock ShortTranslation;
    ShortTranslation.Put("\\\\VarFileInfo\\\\Translation", "\x09\x04", 2);
    try {
        DecodeVersionInfo("a.exe", ShortTranslation.Query());
        FAIL();
    } catch (const Exception& E) {
        EXPECT_NE(std::string(E.what()).find("a.exe"), std::string::npos);
    }

    TFakeBlock NoTranslation;
    NoTranslation.Values.erase("\\\\VarFileInfo\\\\Translation");
    EXPECT_THROW(DecodeVersionInfo("a.exe", NoTranslation.Query()), Exception);
}

} // namespace
} // namespace fi
