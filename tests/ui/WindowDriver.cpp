#include "WindowDriver.h"

#include <memory>

namespace fi::test {

TDriver::TDriver(std::vector<std::function<bool()>> ASteps, DWORD TimeLimitMs)
    : Steps(std::move(ASteps)), Deadline(GetTickCount() + TimeLimitMs) {
    Current = this;
    Timer = SetTimer(nullptr, 0, 50, Tick);
}

TDriver::~TDriver() {
    KillTimer(nullptr, Timer);
    Current = nullptr;
}

void CALLBACK TDriver::Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (!Current || Current->Busy || Current->Done()) return;
    if (LONG(GetTickCount() - Current->Deadline) > 0) {
        Current->FTimedOut = true;
        if (HWND Active = GetActiveWindow()) PostMessageA(Active, WM_CLOSE, 0, 0);
        return;
    }
    Current->Busy = true;
    if (Current->Steps[Current->Next]()) ++Current->Next;
    Current->Busy = false;
}

std::string WindowText(HWND Window) {
    char Text[1024] = {};
    SendMessageA(Window, WM_GETTEXT, sizeof Text, LPARAM(Text));
    return Text;
}

std::vector<HWND> Children(HWND Parent, const char* Class) {
    std::vector<HWND> Result;
    for (HWND Child = FindWindowExA(Parent, nullptr, Class, nullptr); Child;
         Child = FindWindowExA(Parent, Child, Class, nullptr))
        Result.push_back(Child);
    return Result;
}

HWND VisibleWindow(const char* Class, const char* Caption) {
    HWND Window = FindWindowA(Class, Caption);
    return Window && IsWindowVisible(Window) ? Window : nullptr;
}

std::function<bool()> WaitFor(const char* Class, const char* Caption, HWND& Found) {
    auto Ticks = std::make_shared<int>(0);
    return [=, &Found] {
        if (!Found) Found = VisibleWindow(Class, Caption);
        return Found && ++*Ticks > 4;
    };
}

std::function<bool()> Pause(int Ticks) {
    auto Left = std::make_shared<int>(Ticks);
    return [=] { return --*Left <= 0; };
}

RECT RectIn(HWND Child, HWND Parent) {
    RECT R{};
    GetWindowRect(Child, &R);
    MapWindowPoints(nullptr, Parent, reinterpret_cast<POINT*>(&R), 2);
    return R;
}

} // namespace fi::test
