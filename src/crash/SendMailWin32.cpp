// Simple MAPI, loaded at run time so that the module also loads where no
// mail client is installed.
#include <windows.h>

#include <mapi.h>

#include <vector>

#include "crash/SendMail.h"
#include "ui/Forms.h"

namespace fi {

namespace {

struct TLibrary {
    HMODULE Module;
    ~TLibrary() {
        if (Module) FreeLibrary(Module);
    }
};

template <class T>
T Entry(HMODULE Module, const char* Name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(Module, Name)));
}

} // namespace

std::int32_t SendMail(TWindowHandle OwnerWindow, const TBaseStringList& Fields) {
    // The message texts are copies owned here; MAPI only borrows them.
    TMailMessage Mail = BuildMailMessage(Fields);
    TLibrary Mapi{LoadLibraryA("mapi32.dll")};
    if (!Mapi.Module) throw Exception(SSendMailError);
    const auto Logon = Entry<LPMAPILOGON>(Mapi.Module, "MAPILogon");
    const auto Logoff = Entry<LPMAPILOGOFF>(Mapi.Module, "MAPILogoff");
    const auto Send = Entry<LPMAPISENDMAIL>(Mapi.Module, "MAPISendMail");
    if (!Logon || !Logoff || !Send) throw Exception(SSendMailError);

    LHANDLE Session = 0;
    if (Logon(OwnerWindow, nullptr, nullptr, MAPI_LOGON_UI | MAPI_NEW_SESSION, 0, &Session) != SUCCESS_SUCCESS)
        throw Exception(SSendMailError);
    struct TLogoff {
        LPMAPILOGOFF Logoff;
        LHANDLE Session;
        TWindowHandle Owner;
        ~TLogoff() { Logoff(Session, Owner, 0, 0); }
    } LogoffGuard{Logoff, Session, OwnerWindow};

    MapiRecipDesc Recipient{};
    MapiMessage Message{};
    if (Mail.HasRecipient) {
        Recipient.ulRecipClass = MAPI_TO;
        Recipient.lpszName = Mail.RecipientName.data();
        Recipient.lpszAddress = Mail.RecipientAddress.data();
        Message.nRecipCount = 1;
        Message.lpRecips = &Recipient;
    }
    std::vector<MapiFileDesc> Files(Mail.AttachmentPaths.size());
    for (std::size_t i = 0; i < Files.size(); ++i) {
        Files[i] = MapiFileDesc{};
        Files[i].nPosition = ULONG(-1);
        Files[i].lpszPathName = Mail.AttachmentPaths[i].data();
        Files[i].lpszFileName = Mail.AttachmentNames[i].data();
    }
    Message.nFileCount = ULONG(Files.size());
    Message.lpFiles = Files.empty() ? nullptr : Files.data();
    if (Mail.HasSubject) Message.lpszSubject = Mail.Subject.data();
    if (Mail.HasBody) Message.lpszNoteText = Mail.Body.data();

    ULONG Result;
    {
        TDisabledTaskWindows Disabled(0);
        Result = Send(Session, OwnerWindow, &Message, MAPI_DIALOG, 0);
    }
    return std::int32_t(Result);
}

} // namespace fi
