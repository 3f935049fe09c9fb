// Every command of the report runs as a job: through /bin/sh, in a process
// group of its own, standard input from /dev/null, standard output read into
// the caller's buffer, and bounded by a time limit. When the limit passes the
// whole group (the command and its children) is killed; what it printed
// until then is kept.
//
// Several jobs may be under way at once. Whoever waits for one job serves
// all of them: reads their output and ends those past their limit, so a job
// started in the background is read and bounded while the caller runs other
// commands. The program is single-threaded; the job table is the runner's
// own and lives for the process.
#pragma once

#include <cstddef>

namespace tarvona_diag {

// Time limit of a command whose own command line sets no shorter one.
constexpr int command_limit_ms = 15000;

// A command killed at its limit may leave output in the pipe: it is read
// for at most this long before the runner gives up on the job.
constexpr int drain_after_kill_ms = 250;

// Jobs that can be under way at the same time.
constexpr int max_jobs = 16;

// Starts cmd with a limit of limit_ms from now. Its output goes to buf (cap
// bytes, always terminated): taken in pieces of one line or at most 1023
// bytes of a longer one, a piece that does not fit is dropped whole, later
// pieces that fit are still stored. buf must stay valid until
// finish_command. Returns a job number, or -1 when the command cannot be
// started or max_jobs are under way (buf then empty).
int start_command(const char* cmd, char* buf, size_t cap, int limit_ms);

// Waits until the job has ended: its output closed (then anything left in
// its process group is killed and the shell reaped), or its limit passed
// (then the group is killed and the output drained). Returns the bytes
// stored in the job's buffer, or -1 for a number that is not a job under
// way. The exit status of the command is not looked at.
int finish_command(int job);

// Jobs started and not yet finished.
int jobs_under_way();

// From now on SIGINT, SIGTERM, SIGHUP and SIGQUIT (those not ignored) first
// kill the process groups of the jobs under way, then take their default
// action: the commands do not outlive an interrupted report.
void end_jobs_on_signals();

} // namespace tarvona_diag
