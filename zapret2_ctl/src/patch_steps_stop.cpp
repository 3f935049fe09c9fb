// Test build only: kills the process at the step named by ZAPRET2_STOP_AT.
#include "patch_steps.h"

#include <csignal>
#include <cstdlib>
#include <cstring>

namespace zapret2_ctl {

namespace {

const char* step_name(patch_step step) {
    switch (step) {
    case patch_step::before_backup:
        return "before-backup";
    case patch_step::after_backup:
        return "after-backup";
    case patch_step::during_write:
        return "during-write";
    case patch_step::before_rename:
        return "before-rename";
    }
    return "";
}

} // namespace

void reach_step(patch_step step) {
    const char* stop_at = std::getenv("ZAPRET2_STOP_AT");
    if (stop_at && std::strcmp(stop_at, step_name(step)) == 0) std::raise(SIGKILL);
}

} // namespace zapret2_ctl
