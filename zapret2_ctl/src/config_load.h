// Loading the UCI package "zapret2" into the configuration record, every
// value checked by the value rules on the way in.
#pragma once

#include "config.h"

#include <cstddef>

namespace zapret2_ctl {

// Reads the UCI package "zapret2" into cfg, checking every value (warnings
// through the logger). A missing file leaves the defaults (one warning) and
// returns 0. Returns non-zero, after an ERROR naming the file and libuci's
// reason (for a syntax error its line and byte), when the file is there but
// cannot be loaded, or when no UCI context can be had; that text also goes
// to why (when given, cut to why_size). The record then holds the defaults,
// which must not be used.
int config_load(zapret2_config& cfg, char* why = nullptr, std::size_t why_size = 0);

// As config_load, reading the package from confdir instead of the standard
// UCI directory (null: the standard one).
int config_load_from(zapret2_config& cfg, const char* confdir, char* why = nullptr,
                     std::size_t why_size = 0);

} // namespace zapret2_ctl
