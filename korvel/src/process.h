// Child processes: shell commands, first-line capture, the pidof guard.
#pragma once

#include <cstddef>
#include <sys/types.h>

namespace korvel {

/// Writes out what the output streams hold (standard output: the banner, the
/// chosen mode) before a child process starts, so that the child cannot write
/// it a second time, and where a line must show at once. Its result is not
/// needed: a flush that fails empties the buffer as well, so nothing is
/// written twice, and korvel's results are its exit status and its log, not
/// what it prints.
void flush_output();

/// Runs `command` through the shell and waits; returns the wait status
/// (-1 when it cannot be started).
int run_shell(const char* command);

/// Runs `command` through the shell, keeps the first line of its standard
/// output (at most cap - 1 characters, cut at CR or LF) and waits for it.
/// No output, or no command, leaves `buf` empty.
void run_line(const char* command, char* buf, std::size_t cap);

/// Runs `command` through the shell, keeps its whole standard output (at
/// most cap - 1 bytes) and waits for it. No output, or no command, leaves
/// `buf` empty.
void run_output(const char* command, char* buf, std::size_t cap);

/// True when `pid_text` (pidof's output: decimal ids separated by blanks)
/// names a process other than `self` and `parent`.
bool names_other_process(const char* pid_text, pid_t self, pid_t parent);

/// Asks "pidof <name>" whether another process of that name runs, leaving out
/// this process and its parent. False when pidof cannot be started.
bool other_instance_running(const char* name);

/// Starts `program` with the one argument `arg` (no shell) and waits for it;
/// an exec failure ends the child with status 127. Returns the wait status.
int run_program(const char* program, const char* arg);

} // namespace korvel
