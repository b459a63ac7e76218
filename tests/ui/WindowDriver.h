#pragma once
// Driving real windows from inside their modal loop: a thread timer runs one
// step per tick, and the steps act only through window messages.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace fi::test {

// Runs one step per timer tick until the step reports it is done. A run that
// takes longer than TimeLimitMs closes the active window, so that a modal
// loop waiting for a control that never shows still ends.
class TDriver {
public:
    explicit TDriver(std::vector<std::function<bool()>> ASteps, DWORD TimeLimitMs = 60000);
    ~TDriver();
    TDriver(const TDriver&) = delete;
    TDriver& operator=(const TDriver&) = delete;
    bool Done() const { return Next == Steps.size(); }
    bool TimedOut() const { return FTimedOut; }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    static inline TDriver* Current = nullptr;
    std::vector<std::function<bool()>> Steps;
    std::size_t Next = 0;
    UINT_PTR Timer = 0;
    DWORD Deadline = 0;
    bool Busy = false;
    bool FTimedOut = false;
};

std::string WindowText(HWND Window);
// The children of Parent of one window class, in Z order (creation order).
std::vector<HWND> Children(HWND Parent, const char* Class);
HWND VisibleWindow(const char* Class, const char* Caption);
// A step that waits until the window shows, then lets it paint for a few ticks.
std::function<bool()> WaitFor(const char* Class, const char* Caption, HWND& Found);
// A step that lets the windows paint for Ticks timer ticks.
std::function<bool()> Pause(int Ticks);

// Window rectangle of Child in the client coordinates of Parent.
RECT RectIn(HWND Child, HWND Parent);

} // namespace fi::test
