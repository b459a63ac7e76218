#pragma once
// Exception roots shared by every unit: the general exception with a message,
// the silent abort (the user's cancel), out of memory, floating-point and
// input/output errors.
#include <stdexcept>
#include <string>

namespace fi {

// General exception: a message text and nothing else.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& Message) : std::runtime_error(Message) {}
};

// The silent abort: unwinds the running operation without a message. Every
// front end treats it as the user's cancel.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
};

// The system's out-of-memory exception.
class EOutOfMemory : public Exception {
public:
    EOutOfMemory() : Exception("Out of memory") {}
};

// A floating-point computation failed: an invalid operation, a division by
// zero or an overflow. One class for every unit, so that the bug report
// recognises it whichever unit raised it.
class EMathError : public Exception {
public:
    explicit EMathError(const std::string& Message) : Exception(Message) {}
};

// The run-time system's input/output error.
class EInOutError : public Exception {
public:
    explicit EInOutError(const std::string& Message) : Exception(Message) {}
};

// Raises the silent abort.
[[noreturn]] void Abort();

// Printf-style formatting of a message with %s and %d arguments.
std::string FormatText(const char* Pattern, const std::string& A);
std::string FormatText(const char* Pattern, const std::string& A, const std::string& B);

} // namespace fi
