#include "ports.h"

#include "auto_mode.h"
#include "files.h"
#include "process.h"
#include "seam.h"
#include "text.h"

#include <cstdio>
#include <cstring>

namespace korvel {

namespace {

constexpr int cdc_wdm_passes = 20;
constexpr int mm_driver_tries = 60;
constexpr int mm_device_tries = 60; // bounded here: a modem without a device path gives up
constexpr int mm_operator_tries = 10;
constexpr int mm_port_tries = 10;

constexpr const char* mm_drivers_query =
    "mmcli -m any -J 2>/dev/null | jsonfilter -e '@.modem.generic.drivers' 2>/dev/null";
constexpr const char* mm_device_query =
    "mmcli -m any -J 2>/dev/null | jsonfilter -e '@.modem.generic.device' 2>/dev/null";
constexpr const char* mm_operator_query = "mmcli -i any -J 2>/dev/null | jsonfilter -e "
                                          "'@.sim[\"properties\"][\"operator-code\"]' 2>/dev/null";
constexpr const char* mm_ports_query =
    "mmcli -m any -J 2>/dev/null | jsonfilter -e '@.modem.generic.ports[*]' 2>/dev/null";
constexpr const char* mm_primary_query = "mmcli -m any -J 2>/dev/null | jsonfilter -e "
                                         "'@.modem.generic[\"primary-port\"]' 2>/dev/null";
constexpr const char* have_mmcli = "command -v mmcli >/dev/null 2>&1";

/// Up to `tries` runs of `command`, a second's wait after each empty answer.
bool poll_line(const char* command, char* buf, std::size_t cap, int tries) {
    for (int i = 0; i < tries; ++i) {
        run_line(command, buf, cap);
        if (buf[0]) return true;
        wait_seconds(1);
    }
    return false;
}

bool find_cdc_wdm(modem_state& st) {
    return find_entry("/dev", [&](const char* name) {
        if (!starts_with(name, "cdc-wdm")) return false;
        char path[300];
        std::snprintf(path, sizeof path, "/dev/%s", name);
        copy_text(st.data_device, path);
        return true;
    });
}

int find_modemmanager_device(modem_state& st) {
    if (run_shell(have_mmcli) != 0) return 1;
    if (!poll_line(mm_drivers_query, st.mm_drivers, sizeof st.mm_drivers, mm_driver_tries)) {
        run_shell("modem-reinit");
        return 1;
    }
    if (!st.automatic && !std::strstr(st.mm_drivers, "qmi") && !std::strstr(st.mm_drivers, "mbim"))
        return 1;
    if (!poll_line(mm_device_query, st.data_device, sizeof st.data_device, mm_device_tries))
        return 1;
    poll_line(mm_operator_query, st.operator_code, sizeof st.operator_code, mm_operator_tries);
    return 0;
}

} // namespace

bool hilink_candidate(const char* name) {
    return prefix_and_number(name, "eth") || prefix_and_number(name, "usb");
}

bool find_hilink_netdev(char* buf, std::size_t cap) {
    buf[0] = '\0';
    return find_entry("/sys/class/net", [&](const char* name) {
        if (!hilink_candidate(name)) return false;
        char path[256];
        char target[4096];
        std::snprintf(path, sizeof path, "/sys/class/net/%s/device/driver", name);
        if (!read_link(path, target, sizeof target)) return false;
        if (!std::strstr(target, "cdc_ether") && !std::strstr(target, "rndis_host")) return false;
        copy_text(buf, cap, name);
        return true;
    });
}

bool find_modem_ports(modem_state& st) {
    st.at_port[0] = st.sms_port[0] = '\0';
    if (st.hilink || run_shell(have_mmcli) != 0) return false;
    char ports[1024];
    for (int i = 0; i < mm_port_tries; ++i) {
        run_output(mm_ports_query, ports, sizeof ports);
        if (ports[0]) break;
        wait_seconds(1);
    }
    if (!ports[0]) return false;
    char primary[64];
    run_line(mm_primary_query, primary, sizeof primary);
    if (!pick_at_port(primary, ports, st.at_port, st.qmi_device)) return false;
    copy_text(st.sms_port, st.at_port);
    return true;
}

int find_data_device(modem_state& st) {
    st.data_device[0] = '\0';
    if (st.hilink) {
        find_hilink_netdev(st.data_device, sizeof st.data_device);
        return 0;
    }
    if (st.ncm || st.mbim) {
        for (int pass = 0; pass < cdc_wdm_passes; ++pass) {
            if (find_cdc_wdm(st)) break;
            wait_seconds(1);
        }
        return 0;
    }
    if (st.xmm) {
        copy_text(st.data_device, st.at_port);
        return 0;
    }
    return find_modemmanager_device(st);
}

} // namespace korvel
