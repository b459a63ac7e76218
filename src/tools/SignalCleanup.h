#pragma once
// Files that must not outlive the command line: a temporary output is
// registered while it exists, and a signal that ends the program (SIGTERM,
// SIGHUP, SIGQUIT, a broken pipe, a second Ctrl-C) removes it first, so that
// no way out leaves a partial file behind.
namespace fi {

// Path must stay valid until it is forgotten. A few files at once are
// tracked; beyond them a file is only removed on the normal ways out.
void RegisterTemporaryFile(const char* Path);
void ForgetTemporaryFile(const char* Path);

// A signal handler: removes the registered files, then ends the program by
// the signal's default action, as if it had not been caught.
void EndBySignal(int Signal);

// Installs EndBySignal for the terminating signals for its lifetime and
// restores the previous handlers afterwards.
class TSignalCleanup {
public:
    TSignalCleanup();
    ~TSignalCleanup();
    TSignalCleanup(const TSignalCleanup&) = delete;
    TSignalCleanup& operator=(const TSignalCleanup&) = delete;
};

} // namespace fi
