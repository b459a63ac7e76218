#pragma once
// A small image editor of our own that loads the plug-in module as any host
// does and answers its requests: it lists its open images, lends its main
// window, shows progress with a Cancel button and keeps the image handed back.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/HostBitmapFile.h"
#include "host/ProgressWindow.h"
#include "plugin/HostProtocol.h"

namespace fi {

class EReferenceHost : public Exception {
public:
    using Exception::Exception;
};

struct TOpenImage {
    std::string Name;
    THostPicture Picture;
};

struct THandedBack {
    std::string Caption;
    THostPicture Picture;
};

class TReferenceHost {
public:
    TReferenceHost();
    ~TReferenceHost();
    TReferenceHost(const TReferenceHost&) = delete;
    TReferenceHost& operator=(const TReferenceHost&) = delete;

    // Opens an image in the host; the image keeps its place and its pixels
    // for the host's life.
    TOpenImage& AddImage(const std::string& Name, THostPicture Picture);

    void LoadPlugin(const std::string& FileName);
    std::int32_t Register();
    // One ProcessImage call on Image; progress values and results of this
    // call are logged when it returns.
    std::int32_t Process(std::int32_t Command, const HostImage& Image);

    // What the host answers to one request of the plug-in.
    std::int32_t Answer(std::int32_t Request, void* Record);
    static std::int32_t FI_STDCALL Callback(std::int32_t Request, void* Record);

    // Press Cancel once the progress reaches this percentage; negative: never.
    std::int32_t CancelAt = -1;
    // The floating-point state (x87 control word, SSE register) the plug-in
    // is called in; after each call the host logs whether it got it back.
    std::optional<std::pair<std::uint16_t, std::uint32_t>> CallFloatState;

    // Unloads the plug-in.
    void UnloadPlugin();
    // Provokes an access violation in the host's own code and handles it
    // with a handler of its own, as some hosts do; logs that it survived.
    void HandleOwnFault();

    // Every log line so far, "key: value"; each also goes to standard
    // output and into the main window.
    void Log(const std::string& Line);
    const std::vector<std::string>& LogLines() const { return FLog; }
    void WriteReport(const std::string& FileName) const;

    HWND MainWindow() const { return FWindow; }
    TProgressWindow* Progress() const { return FProgress.get(); }
    const std::vector<std::int32_t>& Requests() const { return FRequests; }
    const std::optional<THandedBack>& Result() const { return FResult; }
    std::int32_t ResultCount() const { return FResultCount; }

    // Runs the main window's message loop until it is closed.
    void RunUntilClosed();

private:
    static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM W, LPARAM L);
    std::int32_t TakeResult(const HostResult& Record);
    std::int32_t ReportProgress(std::int32_t Percent);

    HWND FWindow = nullptr;
    HWND FList = nullptr;
    HMODULE FModule = nullptr;
    using TRegisterPlugin = std::int32_t(FI_STDCALL*)(HostCallback);
    using TProcessImage = std::int32_t(FI_STDCALL*)(std::int32_t, const HostImage*);
    TRegisterPlugin FRegister = nullptr;
    TProcessImage FProcess = nullptr;
    std::vector<std::unique_ptr<TOpenImage>> FImages;
    std::unique_ptr<TProgressWindow> FProgress;
    std::vector<std::int32_t> FRequests;
    std::vector<std::int32_t> FProgressValues;
    std::optional<THandedBack> FResult;
    std::int32_t FResultCount = 0;
    std::vector<std::string> FLog;
};

} // namespace fi
