#include "config_writer.h"

#include "catalogue.h"
#include "config_store.h"
#include "handles.h"
#include "files.h"
#include "process.h"
#include "text.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace korvel {

namespace {

constexpr const char* clear_luci_cache = "rm -rf /tmp/luci-*";

} // namespace

void read_current_values(modem_state& st) {
    cfg_get("atinout.general.atc_port", st.current_atc_port, sizeof st.current_atc_port);
    cfg_get("smstools3.@sms[0].device", st.current_sms_device, sizeof st.current_sms_device);
    cfg_get("mmconfig.@modem[0].device0", st.current_mm_device, sizeof st.current_mm_device);
}

void choose_apn(modem_state& st) {
    apn_for_operator(st.operator_code, st.apn, sizeof st.apn);
    if (!st.apn[0]) cfg_get("korvel.main.apn", st.apn, sizeof st.apn);
    if (st.apn[0]) cfg_set("network.modem.apn", st.apn);
}

void configure_network(modem_state& st) {
    cfg_set("network.modem", "interface");
    if (st.hilink) {
        cfg_set("network.modem.proto", "dhcp");
    } else if (st.mbim) {
        cfg_set("network.modem.proto", "mbim");
        choose_apn(st);
        cfg_set("network.modem.pdptype", "ipv4");
    } else if (st.ncm) {
        cfg_set("network.modem.proto", "ncm");
        choose_apn(st);
        cfg_set("network.modem.pdptype", "IP");
    } else if (st.xmm) {
        cfg_set("network.modem.proto", "xmm");
        choose_apn(st);
        cfg_set("network.modem.pdp", "ip");
    } else {
        cfg_set("network.modem.proto", "modemmanager");
        choose_apn(st);
        cfg_set("network.modem.iptype", "ipv4");
    }
    cfg_set("network.modem.device", st.data_device);
    cfg_commit("network");
    run_shell("reload_config");
}

void configure_firewall() {
    char zone[64];
    if (!find_wan_zone(zone)) return;
    char path[128];
    std::snprintf(path, sizeof path, "firewall.%s.network", zone);
    if (cfg_has_value(path, "modem")) return; // already a member: nothing to restart
    cfg_add_list(path, "modem");
    cfg_commit("firewall");
    run_shell("reload_config");
    run_shell("service firewall restart");
}

void configure_modeminfo(const modem_state& st) {
    cfg_set("modeminfo.@general[0]", "general");
    cfg_set("modeminfo.@general[0].korvel", "1");
    cfg_set("modeminfo.@modeminfo[0]", "modeminfo");
    switch (modeminfo_for(st)) {
    case modeminfo_kind::mbim_via_mmcli:
        cfg_set("modeminfo.@modeminfo[0].device", st.at_port);
        cfg_set("modeminfo.@modeminfo[0].mmcli_name", "1");
        cfg_delete("modeminfo.@modeminfo[0].device_qmi");
        cfg_delete("modeminfo.@modeminfo[0].qmi_mode");
        cfg_delete("modeminfo.@modeminfo[0].qmi_proxy");
        break;
    case modeminfo_kind::at_port:
        cfg_set("modeminfo.@modeminfo[0].device", st.at_port);
        cfg_delete("modeminfo.@modeminfo[0].device_qmi");
        cfg_delete("modeminfo.@modeminfo[0].qmi_mode");
        cfg_delete("modeminfo.@modeminfo[0].qmi_proxy");
        cfg_delete("modeminfo.@modeminfo[0].mmcli_name");
        break;
    case modeminfo_kind::qmi:
        cfg_delete("modeminfo.@modeminfo[0].device");
        cfg_delete("modeminfo.@modeminfo[0].mmcli_name");
        cfg_set("modeminfo.@modeminfo[0].device_qmi", "/dev/cdc-wdm0");
        cfg_set("modeminfo.@modeminfo[0].qmi_mode", "1");
        cfg_set("modeminfo.@modeminfo[0].qmi_proxy", "1");
        break;
    }
    cfg_commit("modeminfo");
}

void configure_mmconfig(const modem_state& st) {
    cfg_set("mmconfig.@modem[0]", "modem");
    cfg_set("mmconfig.@modem[0].device0", st.data_device);
    cfg_set("mmconfig.@modem[0].network0", "allowed: 3g, 4g; preferred: 4g");
    cfg_commit("mmconfig");
}

void configure_atinout(const modem_state& st) {
    cfg_set("atinout.general", "atinout");
    cfg_set("atinout.general.atc_port", st.at_port);
    cfg_commit("atinout");
}

void update_at_commands(modem_state& st, const char* path) {
    bool changed = false;
    if (std::strcmp(st.saved_model, st.model) != 0) {
        cfg_set("korvel.main.modem", st.model);
        cfg_commit("korvel");
        copy_text(st.saved_model, st.model);
        changed = true;
    }
    {
        file_handle f(std::fopen(path, "re"));
        if (f) {
            char first[256];
            char second[256];
            if (std::fgets(first, sizeof first, f.get())) {
                bool has_second = std::fgets(second, sizeof second, f.get()) != nullptr;
                if (atcommands_only_demo(first, has_second)) changed = true;
            }
            if (!changed) return; // the user's own list stays
        }
    }
    // Written to a new file that replaces the old one only once complete: a
    // full disk or a power cut leaves the previous list, never half of one.
    char text[sizeof st.ati_text + 1];
    int len = std::snprintf(text, sizeof text, "%s\n", st.ati_text);
    replace_file(path, text, static_cast<std::size_t>(len));
}

void configure_smstools(const modem_state& st) {
    cfg_set("smstools3.@sms[0].device", st.sms_port);
    cfg_set("smstools3.@sms[0].storage", "persistent");
    cfg_set("smstools3.@sms[0].decode_utf", "1");
    cfg_set("smstools3.@sms[0].loglevel", "1");
    cfg_set("smstools3.@sms[0].net_check", "0");
    cfg_delete("smstools3.@sms[0].init");
    if (std::strcmp(st.sms_init, "NAN") != 0) cfg_set("smstools3.@sms[0].init", st.sms_init);
    cfg_commit("smstools3");
    run_shell("service luci-sms restart");
}

void undo_modem_config(const modem_state& st) {
    run_shell(clear_luci_cache);
    char enabled[16];
    cfg_get("modeminfo.@general[0].korvel", enabled, sizeof enabled);
    if (!enabled[0] || std::strcmp(enabled, "0") == 0) return;

    char model[64];
    copy_text(model, st.model);
    replace_char(model, '\'', '_');
    cfg_set("korvel.main.modem", model);
    char apn[128];
    cfg_get("network.modem.apn", apn, sizeof apn);
    if (apn[0]) {
        replace_char(apn, '\'', '_');
        cfg_set("korvel.main.apn", apn);
    }
    cfg_commit("korvel");

    cfg_delete("network.modem");
    cfg_commit("network");

    char zone[64];
    if (find_wan_zone(zone)) {
        char path[128];
        std::snprintf(path, sizeof path, "firewall.%s.network", zone);
        cfg_del_list(path, "modem");
        cfg_commit("firewall");
    }
    run_shell("reload_config");
    run_shell(clear_luci_cache);
}

} // namespace korvel
