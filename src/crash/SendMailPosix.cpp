// There is no mail system to hand a message to: the logon always fails.
#include "crash/SendMail.h"

namespace fi {

std::int32_t SendMail(TWindowHandle, const TBaseStringList& Fields) {
    (void)BuildMailMessage(Fields);
    throw Exception(SSendMailError);
}

} // namespace fi
