#include "tabroster/TabRoster.h"

namespace tabroster {

// Placeholder until the lister lands.
int runTabRoster(platform::Platform&) { return 0; }

}  // namespace tabroster
