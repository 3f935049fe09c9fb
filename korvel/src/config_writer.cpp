#include "config_writer.h"

#include "catalogue.h"
#include "files.h"
#include "handles.h"
#include "process.h"
#include "text.h"
#include "writer_rules.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace korvel {

namespace {

/// The AT command list is (re)written when it is missing, when the model
/// changed, or when it still holds only the demonstration entry; a list the
/// user edited stays.
bool at_list_due(const char* path, bool model_changed) {
    file_handle f(std::fopen(path, "re"));
    if (!f || model_changed) return true;
    char first[256];
    char second[256];
    if (!std::fgets(first, sizeof first, f.get())) return false; // empty: kept
    bool has_second = std::fgets(second, sizeof second, f.get()) != nullptr;
    return atcommands_only_demo(first, has_second);
}

} // namespace

void read_current_values(config_store& cfg, modem_state& st) {
    cfg.get("atinout.general.atc_port", st.current_atc_port);
    cfg.get("smstools3.@sms[0].device", st.current_sms_device);
    cfg.get("mmconfig.@modem[0].device0", st.current_mm_device);
}

void choose_apn(config_store& cfg, modem_state& st) {
    apn_for_operator(st.operator_code, st.apn, sizeof st.apn);
    if (!st.apn[0]) cfg.get("korvel.main.apn", st.apn);
    if (st.apn[0]) cfg.set("network.modem.apn", st.apn);
}

bool configure_network(config_store& cfg, modem_state& st) {
    cfg.set("network.modem", "interface");
    if (st.hilink) {
        cfg.set("network.modem.proto", "dhcp");
    } else if (st.mbim) {
        cfg.set("network.modem.proto", "mbim");
        choose_apn(cfg, st);
        cfg.set("network.modem.pdptype", "ipv4");
    } else if (st.ncm) {
        cfg.set("network.modem.proto", "ncm");
        choose_apn(cfg, st);
        cfg.set("network.modem.pdptype", "IP");
    } else if (st.xmm) {
        cfg.set("network.modem.proto", "xmm");
        choose_apn(cfg, st);
        cfg.set("network.modem.pdp", "ip");
    } else {
        cfg.set("network.modem.proto", "modemmanager");
        choose_apn(cfg, st);
        cfg.set("network.modem.iptype", "ipv4");
    }
    cfg.set("network.modem.device", st.data_device);
    if (!cfg.commit("network")) return false;
    run_shell("reload_config");
    return true;
}

bool configure_firewall(config_store& cfg) {
    char zone[64];
    if (!cfg.find_wan_zone(zone)) return cfg.readable("firewall"); // no zone: nothing to do
    char path[128];
    std::snprintf(path, sizeof path, "firewall.%s.network", zone);
    if (cfg.has_value(path, "modem")) return true; // already a member: nothing to restart
    cfg.add_list(path, "modem");
    if (!cfg.commit("firewall")) return false;
    run_shell("reload_config");
    run_shell("service firewall restart");
    return true;
}

bool configure_modeminfo(config_store& cfg, const modem_state& st) {
    cfg.set("modeminfo.@general[0]", "general");
    cfg.set("modeminfo.@general[0].korvel", "1");
    cfg.set("modeminfo.@modeminfo[0]", "modeminfo");
    switch (modeminfo_for(st)) {
    case modeminfo_kind::mbim_via_mmcli:
        cfg.set("modeminfo.@modeminfo[0].device", st.at_port);
        cfg.set("modeminfo.@modeminfo[0].mmcli_name", "1");
        cfg.remove("modeminfo.@modeminfo[0].device_qmi");
        cfg.remove("modeminfo.@modeminfo[0].qmi_mode");
        cfg.remove("modeminfo.@modeminfo[0].qmi_proxy");
        break;
    case modeminfo_kind::at_port:
        cfg.set("modeminfo.@modeminfo[0].device", st.at_port);
        cfg.remove("modeminfo.@modeminfo[0].device_qmi");
        cfg.remove("modeminfo.@modeminfo[0].qmi_mode");
        cfg.remove("modeminfo.@modeminfo[0].qmi_proxy");
        cfg.remove("modeminfo.@modeminfo[0].mmcli_name");
        break;
    case modeminfo_kind::qmi:
        cfg.remove("modeminfo.@modeminfo[0].device");
        cfg.remove("modeminfo.@modeminfo[0].mmcli_name");
        cfg.set("modeminfo.@modeminfo[0].device_qmi", st.qmi_device);
        cfg.set("modeminfo.@modeminfo[0].qmi_mode", "1");
        cfg.set("modeminfo.@modeminfo[0].qmi_proxy", "1");
        break;
    }
    return cfg.commit("modeminfo");
}

bool configure_mmconfig(config_store& cfg, const modem_state& st) {
    cfg.set("mmconfig.@modem[0]", "modem");
    cfg.set("mmconfig.@modem[0].device0", st.data_device);
    cfg.set("mmconfig.@modem[0].network0", "allowed: 3g, 4g; preferred: 4g");
    return cfg.commit("mmconfig");
}

bool configure_atinout(config_store& cfg, const modem_state& st) {
    cfg.set("atinout.general", "atinout");
    cfg.set("atinout.general.atc_port", st.at_port);
    return cfg.commit("atinout");
}

bool update_at_commands(config_store& cfg, modem_state& st, const char* path) {
    bool model_changed = std::strcmp(st.saved_model, st.model) != 0;
    if (!st.automatic && at_list_due(path, model_changed)) {
        // Written to a new file that replaces the old one only once complete: a
        // full disk or a power cut leaves the previous list, never half of one.
        char text[sizeof st.ati_text + 1];
        int len = std::snprintf(text, sizeof text, "%s\n", st.ati_text);
        if (!replace_file(path, text, static_cast<std::size_t>(len)))
            return cfg.failed(path, std::strerror(errno));
    }
    if (model_changed) {
        cfg.set("korvel.main.modem", st.model);
        if (!cfg.commit("korvel")) return false;
        copy_text(st.saved_model, st.model);
    }
    return true;
}

bool configure_smstools(config_store& cfg, const modem_state& st) {
    cfg.set("smstools3.@sms[0].device", st.sms_port);
    cfg.set("smstools3.@sms[0].storage", "persistent");
    cfg.set("smstools3.@sms[0].decode_utf", "1");
    cfg.set("smstools3.@sms[0].loglevel", "1");
    cfg.set("smstools3.@sms[0].net_check", "0");
    cfg.remove("smstools3.@sms[0].init");
    if (std::strcmp(st.sms_init, "NAN") != 0) cfg.set("smstools3.@sms[0].init", st.sms_init);
    if (!cfg.commit("smstools3")) return false;
    run_shell("service luci-sms restart");
    return true;
}

bool undo_modem_config(config_store& cfg, const modem_state& st) {
    run_shell(clear_luci_cache);
    char enabled[16];
    cfg.get("modeminfo.@general[0].korvel", enabled);
    if (!enabled[0] || std::strcmp(enabled, "0") == 0) return cfg.readable("modeminfo");

    char model[64];
    copy_text(model, st.model);
    replace_char(model, '\'', '_');
    cfg.set("korvel.main.modem", model);
    char apn[128];
    cfg.get("network.modem.apn", apn);
    if (apn[0]) {
        replace_char(apn, '\'', '_');
        cfg.set("korvel.main.apn", apn);
    }
    if (!cfg.commit("korvel")) return false;

    cfg.remove("network.modem");
    if (!cfg.commit("network")) return false;

    char zone[64];
    if (cfg.find_wan_zone(zone)) {
        char path[128];
        std::snprintf(path, sizeof path, "firewall.%s.network", zone);
        cfg.del_list(path, "modem");
        if (!cfg.commit("firewall")) return false;
    } else if (!cfg.readable("firewall")) {
        return false;
    }
    run_shell("reload_config");
    run_shell(clear_luci_cache);
    return true;
}

} // namespace korvel
