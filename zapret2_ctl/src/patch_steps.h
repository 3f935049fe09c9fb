// The steps of a patch run at which the test build stops the program, as a
// power cut would. The shipped program is linked with patch_steps_none.cpp,
// whose steps do nothing; the test build of tests/CMakeLists.txt with
// patch_steps_stop.cpp, which kills the process (SIGKILL, no clean-up) at the
// step named by the environment variable ZAPRET2_STOP_AT.
#pragma once

namespace zapret2_ctl {

enum class patch_step {
    before_backup, // the target exists, no backup yet: "before-backup"
    after_backup,  // the backup is in place: "after-backup"
    during_write,  // the temporary file is created, its text not yet written: "during-write"
    before_rename, // the temporary file is complete and closed: "before-rename"
};

void reach_step(patch_step step);

} // namespace zapret2_ctl
