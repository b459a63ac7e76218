// A stand-in mail system for the win32 tests: the logon fails unless
// FI_FAKE_MAPI_LOGON is "ok"; what the module hands over is written back into
// environment variables of the process for the test to read.
#include <windows.h>

#include <mapi.h>

#include <cstdio>
#include <string>

extern "C" {

__declspec(dllexport) ULONG WINAPI MAPILogon(ULONG_PTR, LPSTR, LPSTR, FLAGS Flags, ULONG, LPLHANDLE Session) {
    char Text[16];
    std::snprintf(Text, sizeof Text, "%lu", static_cast<unsigned long>(Flags));
    SetEnvironmentVariableA("FI_FAKE_MAPI_LOGON_FLAGS", Text);
    char Mode[8] = {};
    GetEnvironmentVariableA("FI_FAKE_MAPI_LOGON", Mode, sizeof Mode);
    if (std::string(Mode) != "ok") return MAPI_E_LOGIN_FAILURE;
    *Session = 42;
    return SUCCESS_SUCCESS;
}

__declspec(dllexport) ULONG WINAPI MAPILogoff(LHANDLE Session, ULONG_PTR, FLAGS, ULONG) {
    SetEnvironmentVariableA("FI_FAKE_MAPI_LOGOFF", Session == 42 ? "42" : "other");
    return SUCCESS_SUCCESS;
}

__declspec(dllexport) ULONG WINAPI MAPISendMail(LHANDLE, ULONG_PTR, lpMapiMessage Message, FLAGS Flags, ULONG) {
    std::string Seen = "flags=" + std::to_string(Flags);
    for (ULONG i = 0; i < Message->nRecipCount; ++i)
        Seen += ";to=" + std::to_string(Message->lpRecips[i].ulRecipClass) + ":" + Message->lpRecips[i].lpszName +
                ":" + Message->lpRecips[i].lpszAddress;
    for (ULONG i = 0; i < Message->nFileCount; ++i)
        Seen += ";file=" + std::string(Message->lpFiles[i].lpszPathName) + ":" + Message->lpFiles[i].lpszFileName +
                ":" + std::to_string(long(Message->lpFiles[i].nPosition));
    if (Message->lpszSubject) Seen += ";subject=" + std::string(Message->lpszSubject);
    if (Message->lpszNoteText) Seen += ";body=" + std::string(Message->lpszNoteText);
    SetEnvironmentVariableA("FI_FAKE_MAPI_SENT", Seen.c_str());
    return 17;
}

}
