#pragma once

namespace platform::tess {

// Turns off Leptonica's messages on standard error for the whole process (idempotent).
void silenceLeptonica();

}  // namespace platform::tess
