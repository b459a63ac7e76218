#pragma once
// Test programs that run another program, or a copy of themselves, as a
// child process.
#include <windows.h>

#include <functional>
#include <string>

namespace fi::test {

// Runs CommandLine and waits until it ends; WhileRunning acts on it first.
// A child still running TimeoutMs after that is ended with exit code 99.
// The child's exit code; 0xFFFFFFFF when it could not be started.
DWORD RunChildProcess(std::string CommandLine, DWORD TimeoutMs,
                      const std::function<void(HANDLE Process)>& WhileRunning = {});

// A file of that name beside this test program.
std::string BesideThisProgram(const char* Name);

// Copies this test program to Name beside it (so that wine settings can be
// given to the copy alone); the copy's path, empty when copying failed.
std::string CopyOfThisProgram(const char* Name);

} // namespace fi::test
