#include "parallel/Progress.h"

namespace fi {

TProgressEvent ProgressHook = nullptr;

} // namespace fi
