#include "seam.h"

#include <unistd.h>

namespace korvel {

void wait_seconds(unsigned seconds) {
    while (seconds > 0)
        seconds = sleep(seconds); // sleep returns what is left after a signal
}

void note_write(const char*, const char*, std::size_t) {}

} // namespace korvel
