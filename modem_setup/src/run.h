// The command line, the add and remove handling and the configuration
// sequence of one plugged modem.
#pragma once

#include "modem_state.h"

namespace korvel {

/// The configuration sequence for the modem already looked up in `st`.
/// Returns the process's exit status: 0, or 1 when the ModemManager mode
/// could not find the modem.
int setup_modem(modem_state& st, const char* usb_id);

/// Every character is an ASCII letter, a digit or "/".
bool valid_usb_id(const char* usb_id);

/// Runs korvel with its words (argv[1..]); returns the exit status.
int run_korvel(int argc, char** argv);

} // namespace korvel
