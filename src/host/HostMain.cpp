// The reference host: opens one image, loads the plug-in, registers it, runs
// its command on the image and writes what comes back.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/HostOptions.h"
#include "host/ReferenceHost.h"

namespace fi {
namespace {

std::string BesideHost(const char* FileName) {
    char Path[MAX_PATH] = {};
    const DWORD Length = GetModuleFileNameA(nullptr, Path, MAX_PATH);
    std::string Folder(Path, Length);
    const auto Slash = Folder.find_last_of("\\/");
    return (Slash == std::string::npos ? std::string() : Folder.substr(0, Slash + 1)) + FileName;
}

// Two more open images with pixels of their own, so that the plug-in has to
// walk the list to find the one it processes.
void OpenExtraImages(TReferenceHost& Host) {
    for (const char* Name : {"C:\\pictures\\other.bmp", "D:scan.2.bmp"}) {
        THostPicture Picture;
        Picture.Width = Picture.Height = 2;
        Picture.Format = hfBgr24;
        Picture.BytesPerLine = 8;
        Picture.Pixels.assign(16, 0x40);
        Host.AddImage(Name, std::move(Picture));
    }
}

void WriteResult(TReferenceHost& Host, const std::string& FileName) {
    const THostPicture& Picture = Host.Result()->Picture;
    if (Picture.Format == hfDouble)
        WriteRawFile(FileName, Picture);
    else
        WriteBmpFile(FileName, Picture);
    Host.Log("output: " + FileName);
}

int Run(const THostOptions& O) {
    TReferenceHost Host;
    Host.CancelAt = O.CancelAt;
    Host.CallFloatState = O.FloatState;
    int Code = 0;
    try {
        THostPicture Input;
        if (!O.Input.empty()) {
            Input = O.RawWidth ? ReadRawFile(O.Input, O.RawWidth, O.RawHeight, O.Format40 ? hfDouble16 : hfDouble)
                               : ReadBmpFile(O.Input);
            Host.Log("input: " + std::to_string(Input.Width) + "x" + std::to_string(Input.Height) + " format " +
                     std::to_string(Input.Format));
        }
        if (O.ListExtraImages) OpenExtraImages(Host);
        HostImage Descriptor{};
        if (!O.Input.empty()) {
            // The descriptor points into the open image, whose pixels stay put.
            THostPicture& Kept =
                O.Unlisted ? Input : Host.AddImage(O.Name.empty() ? O.Input : O.Name, std::move(Input)).Picture;
            if (O.NullPalette) Kept.Palette.clear();
            Descriptor = Kept.Descriptor();
        }
        Host.LoadPlugin(O.Plugin.empty() ? BesideHost("FractalInterpolation.dll") : O.Plugin);
        Host.Register();
        if (!O.Input.empty()) {
            for (std::int32_t Run = 0; Run < O.Runs; ++Run) {
                const std::int32_t Before = Host.ResultCount();
                Host.Process(O.Command, Descriptor);
                if (Host.ResultCount() == Before) Host.Log("handed back: nothing");
                else if (!O.Output.empty() && Host.Result()) WriteResult(Host, O.Output);
            }
        }
        if (O.OwnFaults) {
            Host.HandleOwnFault();
            Host.UnloadPlugin();
            Host.HandleOwnFault();
        }
    } catch (const Exception& E) {
        Host.Log(std::string("error: ") + E.what());
        Code = 1;
    }
    if (O.Stay) Host.RunUntilClosed();
    Host.Log("exit: " + std::to_string(Code));
    if (!O.Report.empty()) Host.WriteReport(O.Report);
    return Code;
}

} // namespace
} // namespace fi

int main(int argc, char** argv) {
    fi::THostOptions Options;
    try {
        Options = fi::ParseHostOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const fi::Exception& E) {
        std::fprintf(stderr, "%s\n%s", E.what(), fi::SHostUsage);
        return 2;
    }
    if (Options.Help) {
        std::printf("%s", fi::SHostUsage);
        return 0;
    }
    try {
        return fi::Run(Options);
    } catch (const fi::Exception& E) {
        std::fprintf(stderr, "%s\n", E.what());
        return 1;
    }
}
