// The configuration writer's choices that depend on the modem alone: which
// settings the modem-information page gets, and whether the user's AT
// command list is still the demonstration list. Pure: no I/O.
#pragma once

#include "modem_state.h"

namespace korvel {

/// Which settings the modem-information page gets.
enum class modeminfo_kind {
    mbim_via_mmcli, // ModemManager modem with an MBIM driver: AT port and mmcli names
    at_port,        // the five named modes, and serial modems found without a
                    // catalogue line: AT port only
    qmi,            // other ModemManager modems: QMI device
};

/// Model names of the form "t", two digits, "w", three digits.
bool tw_model(const char* model);

modeminfo_kind modeminfo_for(const modem_state& st);

/// True when the user's AT command list still holds only the demonstration
/// entry: its first line begins with `Demo command "ATI";ATI` and there is no
/// second line.
bool atcommands_only_demo(const char* first_line, bool has_second_line);

} // namespace korvel
