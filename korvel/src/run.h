// The command line, the add and remove handling and the configuration
// sequence of one plugged modem.
#pragma once

#include "config_store.h"
#include "modem_state.h"

namespace korvel {

/// The configuration sequence for the modem already looked up (or chosen
/// automatically) in `st`, writing through `cfg`. Returns the process's exit
/// status: 0, or 1 when the ModemManager mode could not find the modem or a
/// configuration could not be read or saved.
int setup_modem(modem_state& st, config_store& cfg, const char* usb_id);

/// Every character is an ASCII letter, a digit or "/".
bool valid_usb_id(const char* usb_id);

/// Runs korvel with its words (argv[1..]); returns the exit status.
int run_korvel(int argc, char** argv);

} // namespace korvel
