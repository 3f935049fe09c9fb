#include "writer_rules.h"

#include <cstring>

namespace korvel {

namespace {
constexpr char demo_entry[] = "Demo command \"ATI\";ATI";
bool digit(char c) {
    return c >= '0' && c <= '9';
}
} // namespace

bool tw_model(const char* m) {
    return std::strlen(m) == 7 && m[0] == 't' && digit(m[1]) && digit(m[2]) && m[3] == 'w' &&
           digit(m[4]) && digit(m[5]) && digit(m[6]);
}

modeminfo_kind modeminfo_for(const modem_state& st) {
    if (std::strstr(st.mm_drivers, "mbim") && !tw_model(st.model))
        return modeminfo_kind::mbim_via_mmcli;
    if (!no_mode_word(st)) return modeminfo_kind::at_port;
    // Found without a catalogue line and driven without QMI (serial ports
    // only): there is no QMI device to show.
    if (st.automatic && !std::strstr(st.mm_drivers, "qmi")) return modeminfo_kind::at_port;
    return modeminfo_kind::qmi;
}

bool atcommands_only_demo(const char* first_line, bool has_second_line) {
    return std::strncmp(first_line, demo_entry, sizeof demo_entry - 1) == 0 && !has_second_line;
}

} // namespace korvel
