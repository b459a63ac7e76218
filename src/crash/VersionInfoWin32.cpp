#include <windows.h>

#include <vector>

#include "crash/VersionInfo.h"

namespace fi {

TVersionInfo ReadVersionInfo(const std::string& FileName) {
    DWORD Handle = 0;
    const DWORD Size = GetFileVersionInfoSizeA(FileName.c_str(), &Handle);
    if (Size == 0) throw Exception(FormatText("No version information in %s", FileName));
    std::vector<char> Block(Size);
    if (!GetFileVersionInfoA(FileName.c_str(), 0, Size, Block.data()))
        throw Exception(FormatText("No version information in %s", FileName));
    return DecodeVersionInfo(FileName, [&](const std::string& Path, const void*& Value, std::uint32_t& Length) {
        void* Found = nullptr;
        UINT FoundLength = 0;
        if (!VerQueryValueA(Block.data(), Path.c_str(), &Found, &FoundLength)) return false;
        Value = Found;
        Length = FoundLength;
        return true;
    });
}

} // namespace fi
