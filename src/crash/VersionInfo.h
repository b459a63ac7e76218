#pragma once
// Version resources of files: the fixed version numbers and the texts of the
// first language, and the running program's version.
#include <cstdint>
#include <functional>
#include <string>

#include "support/Exceptions.h"

namespace fi {

struct TVersionInfo {
    std::uint16_t FileVersion[4] = {};
    std::uint32_t ProductVersionMS = 0, ProductVersionLS = 0;
    std::string CompanyName, InternalName, FileDescription, FileVersionText, LegalCopyright, OriginalFilename,
        ProductName, ProductVersionText;
};

// Looks up one path of a version block: true with the value's bytes, false
// when the path is not there.
using TVersionQuery = std::function<bool(const std::string& Path, const void*& Value, std::uint32_t& Length)>;

// Reads the version block through Query; raises fi::Exception naming
// FileName when the fixed block or the translation table is malformed.
TVersionInfo DecodeVersionInfo(const std::string& FileName, const TVersionQuery& Query);

// The version block of a file; raises fi::Exception when it has none or it
// is malformed.
TVersionInfo ReadVersionInfo(const std::string& FileName);

// "major.minor.build release": version 3.1.2010.0 reads "3.1.0 2010".
std::string VersionText(const TVersionInfo& Info);

// The running program's version text, empty when it cannot be read.
extern const std::string ApplicationVersion;

} // namespace fi
