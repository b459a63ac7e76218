#pragma once
// The host's progress window: a bar and a Cancel button, shown while the
// plug-in reports progress.
#include <windows.h>

#include "support/Exceptions.h"

namespace fi {

class EHostWindow : public Exception {
public:
    using Exception::Exception;
};

class TProgressWindow {
public:
    explicit TProgressWindow(HWND Owner);
    ~TProgressWindow();
    TProgressWindow(const TProgressWindow&) = delete;
    TProgressWindow& operator=(const TProgressWindow&) = delete;

    void SetPosition(int Percent);
    int Position() const;
    // Clicks the Cancel button, as a user would.
    void PressCancel();
    bool Cancelled() const { return FCancelled; }
    // Lets the window paint and the Cancel button be clicked while the
    // plug-in computes on this thread.
    static void PumpMessages();

    HWND Handle() const { return FWindow; }
    HWND CancelButton() const { return FButton; }

private:
    static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM W, LPARAM L);
    HWND FWindow = nullptr;
    HWND FBar = nullptr;
    HWND FButton = nullptr;
    bool FCancelled = false;
};

} // namespace fi
