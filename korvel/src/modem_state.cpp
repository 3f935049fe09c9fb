#include "modem_state.h"

#include <cstring>

namespace korvel {

void copy_text(char* dst, std::size_t cap, const char* src) {
    if (cap == 0) return;
    if (!src) src = "";
    std::size_t n = std::strlen(src);
    if (n > cap - 1) n = cap - 1;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

void reset_state(modem_state& st) {
    std::memset(&st, 0, sizeof st);
    copy_text(st.sms_init, "NAN");
    copy_text(st.at_port, "/dev/ttyUSB0");
    copy_text(st.sms_port, "/dev/ttyUSB0");
    copy_text(st.qmi_device, "/dev/cdc-wdm0");
}

const char* mode_name(const modem_state& st) {
    if (st.hilink) return "HILINK";
    if (st.ncm) return "NCM";
    if (st.xmm) return "XMM";
    if (st.mbim) return "MBIM";
    if (st.mdm) return "MDM";
    return "ModemManager";
}

} // namespace korvel
