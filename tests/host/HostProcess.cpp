#include "HostProcess.h"

#include <cstdio>
#include <fstream>

namespace fi::test {

std::string THostRun::Value(const std::string& Key) const {
    const std::vector<std::string> All = Values(Key);
    return All.empty() ? "(none)" : All.front();
}

std::vector<std::string> THostRun::Values(const std::string& Key) const {
    std::vector<std::string> Result;
    for (const std::string& Line : Log)
        if (Line.rfind(Key + ": ", 0) == 0) Result.push_back(Line.substr(Key.size() + 2));
    return Result;
}

std::string BesideTests(const char* Name) {
    char Path[MAX_PATH] = {};
    std::string Folder(Path, GetModuleFileNameA(nullptr, Path, MAX_PATH));
    return Folder.substr(0, Folder.find_last_of("\\/") + 1) + Name;
}

THostRun RunHost(const std::string& Arguments, const std::function<void(HANDLE Process)>& User) {
    const std::string Report = "host_report.txt";
    std::remove(Report.c_str());
    std::string Line = "\"" + BesideTests("ReferenceHost.exe") + "\" --report " + Report + " " + Arguments;
    STARTUPINFOA Startup{};
    Startup.cb = sizeof Startup;
    PROCESS_INFORMATION Process{};
    THostRun Run;
    if (!CreateProcessA(nullptr, Line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Startup, &Process))
        return Run;
    if (User) User(Process.hProcess);
    if (WaitForSingleObject(Process.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(Process.hProcess, 99);
    GetExitCodeProcess(Process.hProcess, &Run.ExitCode);
    CloseHandle(Process.hThread);
    CloseHandle(Process.hProcess);
    std::ifstream File(Report);
    for (std::string Text; std::getline(File, Text);) Run.Log.push_back(Text);
    std::remove(Report.c_str());
    return Run;
}

} // namespace fi::test
