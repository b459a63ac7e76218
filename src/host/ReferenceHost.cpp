#include "host/ReferenceHost.h"

#include <cstdio>
#include <cstring>
#include <fstream>

#include "support/FloatEnvironment.h"

namespace fi {

namespace {

const char* const MainClass = "FiReferenceHost";

// The host whose callback the plug-in was handed; the protocol's callback
// carries no context of its own.
TReferenceHost* Current = nullptr;

std::string Joined(const std::vector<std::int32_t>& Values) {
    std::string Text;
    for (std::int32_t V : Values) Text += (Text.empty() ? "" : " ") + std::to_string(V);
    return Text;
}

std::string Text(const char* Chars) { return Chars ? Chars : ""; }

// The page the host reads on purpose before it may; its handler then makes
// it readable and lets the read run again.
void* TrapPage = nullptr;

LONG CALLBACK HandleTrapPage(EXCEPTION_POINTERS* Pointers) {
    const EXCEPTION_RECORD& Record = *Pointers->ExceptionRecord;
    if (Record.ExceptionCode != EXCEPTION_ACCESS_VIOLATION || Record.NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
    const auto Address = static_cast<std::uintptr_t>(Record.ExceptionInformation[1]);
    const auto Page = reinterpret_cast<std::uintptr_t>(TrapPage);
    if (TrapPage == nullptr || Address < Page || Address >= Page + 4096) return EXCEPTION_CONTINUE_SEARCH;
    DWORD Old;
    VirtualProtect(TrapPage, 4096, PAGE_READWRITE, &Old);
    return EXCEPTION_CONTINUE_EXECUTION;
}

} // namespace

TReferenceHost::TReferenceHost() {
    if (Current) throw EReferenceHost("Only one host per process");
    static const ATOM Class = [] {
        WNDCLASSA C{};
        C.lpfnWndProc = WindowProc;
        C.hInstance = GetModuleHandleA(nullptr);
        C.hCursor = LoadCursor(nullptr, IDC_ARROW);
        C.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        C.lpszClassName = MainClass;
        return RegisterClassA(&C);
    }();
    if (!Class) throw EHostWindow("Cannot register the main window");
    FWindow = CreateWindowExA(0, MainClass, "Reference host", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 560,
                              320, nullptr, nullptr, GetModuleHandleA(nullptr), this);
    if (!FWindow) throw EHostWindow("Cannot create the main window");
    FList = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOINTEGRALHEIGHT,
                            0, 0, 0, 0, FWindow, nullptr, GetModuleHandleA(nullptr), nullptr);
    RECT Client;
    GetClientRect(FWindow, &Client);
    MoveWindow(FList, 0, 0, Client.right, Client.bottom, FALSE);
    ShowWindow(FWindow, SW_SHOWNORMAL);
    UpdateWindow(FWindow);
    Current = this;
}

TReferenceHost::~TReferenceHost() {
    FProgress.reset();
    // The module goes before the windows it may own.
    if (FModule) FreeLibrary(FModule);
    SetWindowLongPtrA(FWindow, GWLP_USERDATA, 0);
    DestroyWindow(FWindow);
    Current = nullptr;
}

TOpenImage& TReferenceHost::AddImage(const std::string& Name, THostPicture Picture) {
    FImages.push_back(std::make_unique<TOpenImage>(TOpenImage{Name, std::move(Picture)}));
    Log("open: " + Name);
    return *FImages.back();
}

void TReferenceHost::LoadPlugin(const std::string& FileName) {
    FModule = LoadLibraryA(FileName.c_str());
    if (!FModule) throw EReferenceHost("Cannot load " + FileName + " (error " + std::to_string(GetLastError()) + ")");
    FRegister = reinterpret_cast<TRegisterPlugin>(reinterpret_cast<void*>(GetProcAddress(FModule, "RegisterPlugin")));
    FProcess = reinterpret_cast<TProcessImage>(reinterpret_cast<void*>(GetProcAddress(FModule, "ProcessImage")));
    if (!FRegister || !FProcess) throw EReferenceHost(FileName + " does not export RegisterPlugin and ProcessImage");
    Log("plugin: " + FileName);
}

std::int32_t TReferenceHost::Register() {
    const std::int32_t Result = FRegister(&Callback);
    Log("registration: " + std::to_string(Result));
    return Result;
}

std::int32_t TReferenceHost::Process(std::int32_t Command, const HostImage& Image) {
    FRequests.clear();
    FProgressValues.clear();
    Log("process command: " + std::to_string(Command));
    std::int32_t Result;
    if (CallFloatState) {
        SetX87ControlWord(CallFloatState->first);
        SetSseControlStatus(CallFloatState->second);
        Result = FProcess(Command, &Image);
        const bool Kept = X87ControlWord() == CallFloatState->first && SseControlStatus() == CallFloatState->second;
        LoadDefaultFloatEnvironment();
        Log(std::string("float state kept: ") + (Kept ? "1" : "0"));
    } else {
        Result = FProcess(Command, &Image);
    }
    Log("requests: " + Joined(FRequests));
    if (!FProgressValues.empty()) Log("progress: " + Joined(FProgressValues));
    if (FProgress && FProgress->Cancelled()) Log("cancelled: 1");
    FProgress.reset();
    Log("process: " + std::to_string(Result));
    return Result;
}

void TReferenceHost::UnloadPlugin() {
    if (!FModule) return;
    FreeLibrary(FModule);
    FModule = nullptr;
    FRegister = nullptr;
    FProcess = nullptr;
    Log("plugin unloaded: 1");
}

void TReferenceHost::HandleOwnFault() {
    TrapPage = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS);
    if (!TrapPage) throw EReferenceHost("Cannot reserve a page");
    // Called after every handler installed before it, the plug-in's included.
    PVOID Handler = AddVectoredExceptionHandler(0, HandleTrapPage);
    const int Read = *static_cast<volatile int*>(TrapPage);
    RemoveVectoredExceptionHandler(Handler);
    VirtualFree(TrapPage, 0, MEM_RELEASE);
    TrapPage = nullptr;
    Log("own fault handled: " + std::to_string(Read + 1));
}

std::int32_t FI_STDCALL TReferenceHost::Callback(std::int32_t Request, void* Record) {
    return Current ? Current->Answer(Request, Record) : 0;
}

std::int32_t TReferenceHost::Answer(std::int32_t Request, void* Record) {
    FRequests.push_back(Request);
    switch (Request) {
    case hrRegister: {
        const auto& R = *static_cast<const HostRegistration*>(Record);
        Log("category: " + Text(R.Category));
        Log("title: " + Text(R.Title));
        Log("description: " + Text(R.Description));
        Log("one: " + std::to_string(R.One));
        SetWindowTextA(FWindow, ("Reference host - " + Text(R.Category) + " > " + Text(R.Title)).c_str());
        return 1;
    }
    case hrResult:
        return TakeResult(*static_cast<const HostResult*>(Record));
    case hrImageQuery: {
        auto& Query = *static_cast<HostImageQuery*>(Record);
        if (Query.Index < 0 || std::size_t(Query.Index) >= FImages.size()) return 0;
        TOpenImage& Image = *FImages[std::size_t(Query.Index)];
        const std::int32_t Index = Query.Index;
        std::memset(&Query, 0, sizeof Query);
        Query.Index = Index;
        Query.Name = Image.Name.c_str();
        Query.Pixels = Image.Picture.Pixels.data();
        return 1;
    }
    case hrMainWindow: {
        const auto Window = reinterpret_cast<HostWindowHandle>(FWindow);
        std::memcpy(Record, &Window, sizeof Window);
        return 1;
    }
    case hrProgress: {
        std::int32_t Percent;
        std::memcpy(&Percent, Record, sizeof Percent);
        return ReportProgress(Percent);
    }
    default:
        Log("unknown request: " + std::to_string(Request));
        return 0;
    }
}

std::int32_t TReferenceHost::TakeResult(const HostResult& Record) {
    ++FResultCount;
    try {
        THandedBack Result{Text(Record.Caption), CopyHostImage(Record.Image)};
        Log("result: " + std::to_string(Result.Picture.Width) + "x" + std::to_string(Result.Picture.Height) +
            " format " + std::to_string(Record.Image.Format));
        Log("caption: " + Result.Caption);
        FResult = std::move(Result);
        return 1;
    } catch (const Exception& E) {
        Log(std::string("result refused: ") + E.what());
        return 0;
    }
}

std::int32_t TReferenceHost::ReportProgress(std::int32_t Percent) {
    FProgressValues.push_back(Percent);
    if (!FProgress) FProgress = std::make_unique<TProgressWindow>(FWindow);
    FProgress->SetPosition(Percent);
    if (CancelAt >= 0 && Percent >= CancelAt && !FProgress->Cancelled()) FProgress->PressCancel();
    TProgressWindow::PumpMessages();
    return FProgress->Cancelled() ? 0 : 1;
}

void TReferenceHost::Log(const std::string& Line) {
    FLog.push_back(Line);
    std::printf("%s\n", Line.c_str());
    std::fflush(stdout);
    SendMessageA(FList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Line.c_str()));
}

void TReferenceHost::WriteReport(const std::string& FileName) const {
    std::ofstream File(FileName, std::ios::trunc);
    for (const std::string& Line : FLog) File << Line << '\n';
    File.close();
    if (!File) throw EReferenceHost("Cannot write " + FileName);
}

void TReferenceHost::RunUntilClosed() {
    MSG Message;
    while (IsWindow(FWindow) && GetMessageA(&Message, nullptr, 0, 0) > 0) {
        TranslateMessage(&Message);
        DispatchMessageA(&Message);
    }
}

LRESULT CALLBACK TReferenceHost::WindowProc(HWND Window, UINT Message, WPARAM W, LPARAM L) {
    if (Message == WM_NCCREATE)
        SetWindowLongPtrA(Window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(L)->lpCreateParams));
    auto* Self = reinterpret_cast<TReferenceHost*>(GetWindowLongPtrA(Window, GWLP_USERDATA));
    if (Self) {
        switch (Message) {
        case WM_SIZE:
            if (Self->FList) MoveWindow(Self->FList, 0, 0, LOWORD(L), HIWORD(L), TRUE);
            return 0;
        case WM_CLOSE:
            // The window lives as long as the host object; closing only ends the loop.
            ShowWindow(Window, SW_HIDE);
            PostQuitMessage(0);
            return 0;
        default:
            break;
        }
    }
    return DefWindowProcA(Window, Message, W, L);
}

} // namespace fi
