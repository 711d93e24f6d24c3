#include "LeptonicaQuiet.h"

#include <leptonica/allheaders.h>

#include <mutex>

namespace platform::tess {

void silenceLeptonica() {
    static std::once_flag once;
    std::call_once(once, [] { setMsgSeverity(L_SEVERITY_NONE); });
}

}  // namespace platform::tess
