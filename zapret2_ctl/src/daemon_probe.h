// Which nfqws2 daemons are alive, judged by the PID files in /var/run.
#pragma once

namespace zapret2_ctl {

// Called with each live PID; returns true to go on, false to stop the walk.
using pid_visitor = bool (*)(int pid, void* ctx);

// Walks the files of dir whose names begin with "nfqws2_" in directory order
// and calls visit with each PID that is positive and passes a signal-0 probe.
// A missing dir yields nothing quietly; another open failure warns.
void daemon_scan_in(const char* dir, pid_visitor visit, void* ctx);
void daemon_scan(pid_visitor visit, void* ctx); // in /var/run

// Number of live PIDs (0 when none).
int daemon_count_in(const char* dir);
int daemon_count();
// First live PID in directory order (0 when none).
int daemon_first_pid_in(const char* dir);
int daemon_first_pid();

} // namespace zapret2_ctl
