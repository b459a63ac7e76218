#include "crash/VersionInfo.h"

#include <cstdio>
#include <cstring>

#include "crash/CrashHooks.h"

namespace fi {

namespace {

constexpr std::uint32_t FixedSignature = 0xFEEF04BD;
constexpr std::uint32_t FixedBlockSize = 52;

std::uint32_t ReadWord32(const void* Data, std::size_t Offset) {
    std::uint32_t V;
    std::memcpy(&V, static_cast<const char*>(Data) + Offset, 4);
    return V;
}

std::string ReadVersionInfoSafely() {
    try {
        return VersionText(ReadVersionInfo(ProgramFileName()));
    } catch (const std::exception&) {
        return std::string();
    }
}

} // namespace

TVersionInfo DecodeVersionInfo(const std::string& FileName, const TVersionQuery& Query) {
    TVersionInfo Info;
    const void* Value = nullptr;
    std::uint32_t Length = 0;
    // The paths are written with doubled backslashes; the version API takes
    // empty path parts as nothing.
    if (!Query("\\\\", Value, Length) || Length != FixedBlockSize || ReadWord32(Value, 0) != FixedSignature)
        throw Exception(FormatText("Invalid version information in %s", FileName));
    const std::uint32_t FileMS = ReadWord32(Value, 8), FileLS = ReadWord32(Value, 12);
    Info.FileVersion[0] = std::uint16_t(FileMS >> 16);
    Info.FileVersion[1] = std::uint16_t(FileMS & 0xFFFF);
    Info.FileVersion[2] = std::uint16_t(FileLS >> 16);
    Info.FileVersion[3] = std::uint16_t(FileLS & 0xFFFF);
    Info.ProductVersionMS = ReadWord32(Value, 16);
    Info.ProductVersionLS = ReadWord32(Value, 20);
    if (!Query("\\\\VarFileInfo\\\\Translation", Value, Length) || Length < 4)
        throw Exception(FormatText("Invalid version information in %s", FileName));
    const std::uint32_t Translation = ReadWord32(Value, 0);
    char Language[16];
    std::snprintf(Language, sizeof Language, "%04X%04X", unsigned(Translation & 0xFFFF), unsigned(Translation >> 16));
    const auto Text = [&](const char* Name, std::string& Dest) {
        const void* TextValue = nullptr;
        std::uint32_t TextLength = 0;
        if (Query(std::string("\\\\StringFileInfo\\\\") + Language + "\\\\" + Name, TextValue, TextLength) &&
            TextValue)
            Dest.assign(static_cast<const char*>(TextValue), strnlen(static_cast<const char*>(TextValue), TextLength));
    };
    Text("CompanyName", Info.CompanyName);
    Text("InternalName", Info.InternalName);
    Text("FileDescription", Info.FileDescription);
    Text("FileVersion", Info.FileVersionText);
    Text("LegalCopyright", Info.LegalCopyright);
    Text("OriginalFilename", Info.OriginalFilename);
    Text("ProductName", Info.ProductName);
    Text("ProductVersion", Info.ProductVersionText);
    return Info;
}

std::string VersionText(const TVersionInfo& Info) {
    char Buffer[64];
    std::snprintf(Buffer, sizeof Buffer, "%d.%d.%d %d", Info.FileVersion[0], Info.FileVersion[1], Info.FileVersion[3],
                  Info.FileVersion[2]);
    return Buffer;
}

const std::string ApplicationVersion = ReadVersionInfoSafely();

} // namespace fi
