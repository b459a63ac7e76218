#pragma once
// The reference host program run as a child process, with its log.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace fi::test {

struct THostRun {
    DWORD ExitCode = 0xFFFFFFFF;
    std::vector<std::string> Log;
    // The value of the first log line "Key: value", "(none)" when there is none.
    std::string Value(const std::string& Key) const;
    // The values of every such line, in order.
    std::vector<std::string> Values(const std::string& Key) const;
};

// Runs ReferenceHost.exe with Arguments; User acts on its windows while it
// runs (the host is ended when it runs ten minutes longer than that: a guard
// against a hang, which also holds in the slow emulated test guest).
THostRun RunHost(const std::string& Arguments, const std::function<void(HANDLE Process)>& User = {});

} // namespace fi::test
