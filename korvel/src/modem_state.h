// Run state of one korvel process: the catalogue entry of the plugged modem,
// the ports and devices found for it, and the values read back from UCI.
#pragma once

#include <cstddef>

namespace korvel {

struct modem_state {
    char usb_id[64];
    char model[64];
    bool hilink, ncm, xmm, mbim, mdm;
    bool bind_at_add;     // catalogue flag "init": bind drivers during "add"
    bool rebind_at_setup; // catalogue flag "init0": re-enumerate before configuring
    char sms_init[32];
    char at_port[64];
    char sms_port[64];
    char mm_drivers[256];
    char data_device[128];
    char operator_code[32];
    char apn[128];
    char saved_model[64];
    char ati_text[1024];
    char current_atc_port[64];
    char current_sms_device[64];
    char current_mm_device[128];
    bool log_quiet;
    bool foreground; // run by hand ("korvel <usb-id>"): the chosen mode is printed
    // Set by the catalogue look-up or by the automatic choice:
    bool automatic;      // no catalogue line: the mode comes from the device's USB functions
    char choice[192];    // why this mode: "catalogue line <pattern>" or what the device showed
    char qmi_device[64]; // QMI control device for the modem-information page
};

/// Fills `st` with the start-of-process defaults.
void reset_state(modem_state& st);

/// Copies `src` into `dst` of capacity `cap`, always terminated, cut at cap - 1.
/// A null `src` copies as empty.
void copy_text(char* dst, std::size_t cap, const char* src);

template <std::size_t N> inline void copy_text(char (&dst)[N], const char* src) {
    copy_text(dst, N, src);
}

/// True when none of the five mode words matched (ModemManager mode, MDM aside).
inline bool no_mode_word(const modem_state& st) {
    return !st.hilink && !st.ncm && !st.xmm && !st.mbim && !st.mdm;
}

/// The mode's name for the owner: "HILINK", "NCM", "XMM", "MBIM", "MDM" or
/// "ModemManager".
const char* mode_name(const modem_state& st);

} // namespace korvel
