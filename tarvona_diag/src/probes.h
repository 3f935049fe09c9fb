// How the collector touches the system: commands, files, UCI options and
// service state. None of these keeps state or writes to the system; a
// failure yields an empty text, 0 or false.
#pragma once

#include <cstddef>

#include "command_runner.h"

struct uci_context;
struct uci_section;

namespace tarvona_diag {

// Runs cmd through the shell and stores its standard output in buf (cap
// bytes, terminated). Output is taken line by line (pieces of at most 1023
// bytes); a piece that does not fit is dropped whole and later pieces that
// fit are still stored; the command is read to its end, or until limit_ms
// have passed: then it and its children are killed and what it printed is
// kept (command_runner.h). Returns the bytes stored, or -1 when the command
// cannot be started.
int run_command(const char* cmd, char* buf, size_t cap, int limit_ms = command_limit_ms);

// Reads at most cap - 1 bytes of the file with one read call and
// terminates the text. Returns the bytes read, or -1 when buf is null or
// the file cannot be opened (buf then empty).
int read_text_file(const char* path, char* buf, size_t cap);

// True when stat() on the path succeeds.
bool file_exists(const char* path);

// Current local time as "%Y-%m-%d %H:%M:%S".
void format_timestamp(char* buf, size_t cap);

// Value of a single-value option of a loaded section; nullptr when the
// option is absent or is a list.
const char* uci_get_option(uci_context* ctx, uci_section* s, const char* name);

// True only when option "enabled" exists and equals "0".
bool option_disabled(uci_context* ctx, uci_section* s);

// Three-step probe: "<init> running", "<init> status", then pidof of the
// process (when a non-empty process name is given).
bool service_running(const char* init_script, const char* process);

// Process id from /var/run/<init>.pid, else from pidof; 0 when none.
int service_pid(const char* init_script, const char* process);

// "<init> enabled" says yes.
bool service_enabled(const char* init_script);

// Pure deciders behind the probes (outputs of the commands, may be null).
bool running_from_running_output(const char* out);
bool running_from_status_output(const char* out);
bool running_from_pidof_output(const char* out);
int pid_from_text(const char* text);

} // namespace tarvona_diag
