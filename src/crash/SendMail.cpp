#include "crash/SendMail.h"

#include "crash/CrashHooks.h"

namespace fi {

TMailMessage BuildMailMessage(const TBaseStringList& Fields) {
    TMailMessage M;
    if (Fields.IndexOfName("to") >= 0) {
        M.HasRecipient = true;
        M.RecipientName = Fields.Value("to");
        M.RecipientAddress = "SMTP:" + M.RecipientName;
    }
    for (int i = 0;; ++i) {
        const std::string Name = "attachment" + std::to_string(i);
        if (Fields.IndexOfName(Name) < 0) break;
        M.AttachmentPaths.push_back(Fields.Value(Name));
        M.AttachmentNames.push_back(ExtractFileName(M.AttachmentPaths.back()));
    }
    if (Fields.IndexOfName("subject") >= 0) {
        M.HasSubject = true;
        M.Subject = Fields.Value("subject");
    }
    if (Fields.IndexOfName("body") >= 0) {
        M.HasBody = true;
        M.Body = Fields.Value("body");
    }
    return M;
}

} // namespace fi
