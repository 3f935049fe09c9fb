// The JSON document of the "dump" command, written by hand in a fixed layout.
#pragma once

#include "config.h"

#include <cstdio>

namespace zapret2_ctl {

// Writes text as a JSON string; null prints the bare word null. Escapes
// '"', '\\', \n, \r, \t, and other bytes 0x01..0x1f as \u00XX; every other
// byte (0x7f and UTF-8 included) passes unchanged.
void json_write_string(std::FILE* out, const char* text);

// The whole document for a loaded record and the daemon probe's results.
void write_dump(std::FILE* out, const zapret2_config& cfg, int instances, int first_pid);

// write_dump, then flushes out: false when any part of the document could
// not be written (a full disk, /dev/full, a closed stream).
bool write_dump_out(std::FILE* out, const zapret2_config& cfg, int instances, int first_pid);

// The "dump" command: the document for the loaded record and the live
// daemons on standard output; 0, or 1 (after an ERROR) when standard output
// does not take the whole document.
int cmd_dump(const zapret2_config& cfg);

} // namespace zapret2_ctl
