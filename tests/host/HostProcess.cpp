#include "HostProcess.h"

#include <cstdio>
#include <fstream>

#include "common/ChildProcessWin32.h"

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

THostRun RunHost(const std::string& Arguments, const std::function<void(HANDLE Process)>& User) {
    const std::string Report = "host_report.txt";
    std::remove(Report.c_str());
    THostRun Run;
    Run.ExitCode = RunChildProcess("\"" + BesideThisProgram("ReferenceHost.exe") + "\" --report " + Report + " " + Arguments,
                                   600000, User);
    std::ifstream File(Report);
    for (std::string Text; std::getline(File, Text);) Run.Log.push_back(Text);
    std::remove(Report.c_str());
    return Run;
}

} // namespace fi::test
