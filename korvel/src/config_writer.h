// The UCI configuration that brings a modem up, and its removal.
//
// Each step writes its group of keys and commits the package; a step answers
// false when its package could not be read or saved (cfg.error() says which
// and why), and the sequence stops there, so that what was saved before
// stays as it was.
#pragma once

#include "config_store.h"
#include "modem_state.h"

namespace korvel {

inline constexpr const char* atcommands_path = "/etc/atcommands.user";
/// The web interface's caches, removed so that its pages show the new settings.
inline constexpr const char* clear_luci_cache = "rm -rf /tmp/luci-*";

/// Reads the ports and devices the other packages are configured with now.
void read_current_values(config_store& cfg, modem_state& st);

void choose_apn(config_store& cfg, modem_state& st);
[[nodiscard]] bool configure_network(config_store& cfg, modem_state& st);
[[nodiscard]] bool configure_firewall(config_store& cfg);
[[nodiscard]] bool configure_modeminfo(config_store& cfg, const modem_state& st);
[[nodiscard]] bool configure_mmconfig(config_store& cfg, const modem_state& st);
[[nodiscard]] bool configure_atinout(config_store& cfg, const modem_state& st);
/// Writes the AT command list (not for a modem without a catalogue line,
/// which has none) and then remembers the model, so that a list that could
/// not be written is tried again at the next plug.
[[nodiscard]] bool update_at_commands(config_store& cfg, modem_state& st,
                                      const char* path = atcommands_path);
[[nodiscard]] bool configure_smstools(config_store& cfg, const modem_state& st);

/// Removal: drops the interface "modem" and its wan-zone membership, and
/// remembers the model and the APN; only when automatic configuration is on.
[[nodiscard]] bool undo_modem_config(config_store& cfg, const modem_state& st);

} // namespace korvel
