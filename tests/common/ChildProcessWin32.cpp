#include "common/ChildProcessWin32.h"

namespace fi::test {

DWORD RunChildProcess(std::string CommandLine, DWORD TimeoutMs, const std::function<void(HANDLE Process)>& WhileRunning) {
    STARTUPINFOA Startup{};
    Startup.cb = sizeof Startup;
    PROCESS_INFORMATION Process{};
    if (!CreateProcessA(nullptr, CommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Startup, &Process))
        return 0xFFFFFFFF;
    if (WhileRunning) WhileRunning(Process.hProcess);
    if (WaitForSingleObject(Process.hProcess, TimeoutMs) != WAIT_OBJECT_0) TerminateProcess(Process.hProcess, 99);
    DWORD Exit = 0xFFFFFFFF;
    GetExitCodeProcess(Process.hProcess, &Exit);
    CloseHandle(Process.hThread);
    CloseHandle(Process.hProcess);
    return Exit;
}

std::string BesideThisProgram(const char* Name) {
    char Path[MAX_PATH] = {};
    const std::string Self(Path, GetModuleFileNameA(nullptr, Path, MAX_PATH));
    return Self.substr(0, Self.find_last_of("\\/") + 1) + Name;
}

std::string CopyOfThisProgram(const char* Name) {
    char Self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, Self, MAX_PATH);
    const std::string Copy = BesideThisProgram(Name);
    return CopyFileA(Self, Copy.c_str(), FALSE) ? Copy : std::string();
}

} // namespace fi::test
