// The module's loader notifications.
#include <windows.h>

#include "parallel/MultiCoreProcessing.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD Reason, LPVOID) {
    // The load itself runs under the loader lock, where a new thread would
    // wait for this very module. Any later notification (a thread attaching
    // or detaching, the unload) means that the load has completed.
    if (Reason != DLL_PROCESS_ATTACH) fi::EnableMultiThreading();
    return TRUE;
}
