#pragma once
// Wraps the host's image as a TLinearBitmap without copying, keeps track of
// the buffers that still belong to the host, and turns a finished bitmap
// back into a host record. Also the progress forwarder to the host, which
// the driver makes the module's progress event.
#include <cstdint>

#include "image/LinearBitmap.h"
#include "parallel/Progress.h"
#include "plugin/HostProtocol.h"

namespace fi {

class TPluginLinearBitmap : public TLinearBitmap {
public:
    const TPaletteEntry* HostPalette = nullptr; // never freed here
    std::uint8_t* HostPixels = nullptr;        // set while Map still points into the host's buffer

    explicit TPluginLinearBitmap(const HostImage* Image);
    ~TPluginLinearBitmap() override;

    void AttachHostImage(const HostImage* Image);
    // Gives the bitmap its own packed copy of the host's pixels.
    void DetachFromHost();
    // Fills Record from Self (null: only zeroes Record). With Detach the
    // buffers then belong to whoever received Record.
    static void ExportToHost(TPluginLinearBitmap* Self, HostImage& Record, bool Detach);

    void Clear() override;
    void PackRows() override;
    const char* ClassName() const override { return "TPluginLinearBitmap"; }

protected:
    bool OwnsBuffer(const void* Buffer) const override;
};

class TProgressUpdate {
public:
    // Sends the progress to the host; a zero answer raises the silent abort.
    static void ProgressUpdate(std::int32_t Progress);
};

} // namespace fi
