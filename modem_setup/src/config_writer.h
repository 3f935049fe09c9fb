// The UCI configuration that brings a modem up, and its removal.
#pragma once

#include "modem_state.h"

namespace korvel {

inline constexpr const char* atcommands_path = "/etc/atcommands.user";

/// Which settings the modem-information page gets.
enum class modeminfo_kind {
    mbim_via_mmcli, // ModemManager modem with an MBIM driver: AT port and mmcli names
    at_port,        // the five named modes: AT port only
    qmi,            // other ModemManager modems: QMI device
};

/// Model names of the form "t", two digits, "w", three digits.
bool tw_model(const char* model);

modeminfo_kind modeminfo_for(const modem_state& st);

/// True when the user's AT command list still holds only the demonstration
/// entry: its first line begins with `Demo command "ATI";ATI` and there is no
/// second line.
bool atcommands_only_demo(const char* first_line, bool has_second_line);

/// Reads the ports and devices the other packages are configured with now.
void read_current_values(modem_state& st);

void choose_apn(modem_state& st);
void configure_network(modem_state& st);
void configure_firewall();
void configure_modeminfo(const modem_state& st);
void configure_mmconfig(const modem_state& st);
void configure_atinout(const modem_state& st);
void update_at_commands(modem_state& st, const char* path = atcommands_path);
void configure_smstools(const modem_state& st);

/// Removal: drops the interface "modem" and its wan-zone membership, and
/// remembers the model and the APN; only when automatic configuration is on.
void undo_modem_config(const modem_state& st);

} // namespace korvel
