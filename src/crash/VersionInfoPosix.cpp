// Executables and shared objects here carry no version resources.
#include "crash/VersionInfo.h"

namespace fi {

TVersionInfo ReadVersionInfo(const std::string& FileName) {
    throw Exception(FormatText("No version information in %s", FileName));
}

} // namespace fi
