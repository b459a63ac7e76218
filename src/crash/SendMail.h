#pragma once
// Sending a mail through the system's mail client, which shows the message
// to the user before it goes.
#include <cstdint>
#include <string>
#include <vector>

#include "support/StringLists.h"

namespace fi {

using TWindowHandle = std::uintptr_t;

inline constexpr const char* SSendMailError = "Error while trying to send e-mail";

// A mail as the fields describe it.
struct TMailMessage {
    bool HasRecipient = false;
    std::string RecipientName, RecipientAddress; // address with its "SMTP:" prefix
    std::vector<std::string> AttachmentPaths, AttachmentNames;
    bool HasSubject = false, HasBody = false;
    std::string Subject, Body;
};

// Reads "to", "subject", "body" and "attachment0", "attachment1", ... (the
// numbering stops at the first missing one).
TMailMessage BuildMailMessage(const TBaseStringList& Fields);

// Logs on to the mail system (its logon dialog allowed, a new session),
// sends with its dialog while the other windows are disabled, logs off.
// Raises fi::Exception with SSendMailError when there is no mail system or
// the logon fails; otherwise returns the mail system's result code.
std::int32_t SendMail(TWindowHandle OwnerWindow, const TBaseStringList& Fields);

} // namespace fi
