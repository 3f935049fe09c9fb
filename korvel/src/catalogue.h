// The three data files that describe modems: the catalogue (USB id pattern to
// model, mode and ports), the APN file (operator code to access point name)
// and the per-model AT command lists.
#pragma once

#include "modem_state.h"

namespace korvel {

inline constexpr const char* catalogue_path = "/usr/share/korvel/modems.conf";
inline constexpr const char* apn_file_path = "/usr/share/korvel/apns.conf";
inline constexpr const char* ati_dir = "/usr/share/korvel/ati";

struct modem_entry {
    char pattern[64];
    char model[64];
    char mode[32];
    char sms_init[32];
    char at_port[64];
    char sms_port[64];
    char init_flag[32]; // empty when the line has no seventh field
};

/// Parses one catalogue line, already cut at its line end. Returns false for
/// lines that are skipped: empty, comments, fewer than six fields.
bool parse_catalogue_line(const char* line, modem_entry& entry);

/// Shell wildcard match of the entry's pattern against a USB id ("*" crosses "/").
bool entry_matches(const modem_entry& entry, const char* usb_id);

/// Copies the entry's model, ports, SMS init string, mode and init flags into `st`.
void apply_entry(const modem_entry& entry, modem_state& st);

/// Parses one APN line (operator code; access point name), both trimmed.
bool parse_apn_line(const char* line, char (&code)[32], char (&apn)[64]);

/// First catalogue line matching `usb_id` fills `st`; false (state untouched)
/// when the file is missing or no line matches.
bool lookup_modem(modem_state& st, const char* usb_id, const char* path = catalogue_path);

/// The access point name of the first line whose code equals `code`; false
/// (and `apn` emptied) when there is none.
bool apn_for_operator(const char* code, char* apn, std::size_t cap,
                      const char* path = apn_file_path);

/// Fills st.ati_text with the first 1023 bytes of "<dir>/<model>.ati"; empty
/// when the file is missing.
void load_at_commands(modem_state& st, const char* dir = ati_dir);

} // namespace korvel
