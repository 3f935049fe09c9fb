#include "run.h"

#include "auto_mode.h"
#include "binding.h"
#include "catalogue.h"
#include "config_writer.h"
#include "log.h"
#include "ports.h"
#include "process.h"
#include "seam.h"
#include "sms_daemon.h"
#include "usb_scan.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace korvel {

namespace {

constexpr const char* reload_option_driver =
    "rmmod option 2>/dev/null; modprobe option 2>/dev/null";
constexpr const char* interface_up_watch =
    "( while ! ifstatus modem | grep -q '\"up\": true'; do sleep 1; done; ifup modem ) &";
constexpr unsigned rebind_settle_s = 10;
constexpr unsigned hilink_settle_s = 2;

void print_banner() {
    static constexpr char rule[] = "========================================";
    std::printf("%s\n%-40s\n%s\n", rule, " Tarvona Korvel", rule);
}

void log_fmt(const modem_state& st, const char* fmt, const char* a, const char* b = nullptr) {
    char line[256];
    std::snprintf(line, sizeof line, fmt, a, b);
    log_line(st, line);
}

bool automatic_configuration_on(config_store& cfg) {
    char value[16];
    cfg.get("modeminfo.@general[0].korvel", value);
    return value[0] && std::strcmp(value, "0") != 0;
}

/// "korvel.main.unknown_modems" is "auto": devices without a catalogue line
/// are examined. Anything else, or no such option, ignores them.
bool unknown_modems_auto(config_store& cfg) {
    char value[16];
    cfg.get("korvel.main.unknown_modems", value);
    return std::strcmp(value, "auto") == 0;
}

/// An event of one of a device's interfaces (hotplug runs the hook for the
/// device and for each interface): the device's own event does the work.
bool interface_event() {
    const char* type = std::getenv("DEVTYPE");
    return type && std::strcmp(type, "usb_interface") == 0;
}

/// Examines the device of st.usb_id in sysfs and, for a modem, fills `st`.
/// Otherwise `info` holds the line that says why not, and `quiet` is set
/// when a hotplug event need not say it: a hub, or a device already gone.
bool choose_automatically(modem_state& st, char (&info)[320], bool& quiet) {
    quiet = true;
    usb_device_info dev;
    if (!examine_usb_device(st.usb_id, dev)) {
        std::snprintf(info, sizeof info,
                      "korvel: INFO: usb %s is not a modem korvel can configure (no such USB "
                      "device)",
                      st.usb_id);
        return false;
    }
    quiet = usb_hub(dev);
    auto_choice choice = classify_usb_device(dev);
    if (apply_auto_choice(choice, st.usb_id, st)) return true;
    std::snprintf(info, sizeof info,
                  "korvel: INFO: usb %s is not a modem korvel can configure (%s)", st.usb_id,
                  choice.reason);
    return false;
}

/// The removed id is the modem configured last without a catalogue line.
bool remembered_automatic(config_store& cfg, modem_state& st) {
    char model[64];
    char saved[64];
    if (!auto_model_name(st.usb_id, model)) return false;
    cfg.get("korvel.main.modem", saved);
    if (std::strcmp(saved, model) != 0) return false;
    copy_text(st.model, model);
    st.automatic = true;
    return true;
}

/// Which mode was chosen and why: printed when run by hand, logged for a
/// modem without a catalogue line.
void report_choice(const modem_state& st) {
    char line[320];
    std::snprintf(line, sizeof line, "korvel: usb %s: %s mode (%s)", st.usb_id, mode_name(st),
                  st.choice);
    if (st.foreground) {
        std::printf("%s\n", line);
        flush_output();
    } else if (st.automatic) {
        log_line(st, line);
    }
}

int setup_failed(const modem_state& st, const config_store& cfg) {
    char line[400];
    std::snprintf(line, sizeof line, "korvel: ERROR: %s modem setup failed: %s", st.model,
                  cfg.error());
    log_error(line);
    return 1;
}

int no_context() {
    log_error("korvel: ERROR: could not open the UCI configuration");
    return 1;
}

int handle_add(modem_state& st, config_store& cfg) {
    if (!lookup_modem(st, st.usb_id)) {
        if (!unknown_modems_auto(cfg) || interface_event()) return 0;
        char info[320];
        bool quiet = false;
        if (!choose_automatically(st, info, quiet)) {
            if (!quiet) log_line(st, info);
            return 0;
        }
    } else if (st.bind_at_add) {
        if (!check_marker(init_marker)) log_line(st, "korvel: modem initialization");
        bind_drivers(st.usb_id);
    }
    if (other_instance_running("korvel")) return 0;

    flush_output();
    pid_t child = fork();
    if (child < 0) return 0;
    if (child == 0) {
        pid_t grandchild = fork();
        if (grandchild == 0) _exit(setup_modem(st, cfg, st.usb_id));
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return 0;
}

int handle_remove(modem_state& st, config_store& cfg) {
    if (!lookup_modem(st, st.usb_id)) {
        if (!unknown_modems_auto(cfg) || interface_event()) return 0;
        if (!remembered_automatic(cfg, st)) return 0;
    }
    smstools_control(sms_action::stop);
    bool undone = undo_modem_config(cfg, st);
    if (st.bind_at_add) run_shell(reload_option_driver);
    if (undone) return 0;
    char line[400];
    std::snprintf(line, sizeof line, "korvel: ERROR: %s modem removal failed: %s", st.model,
                  cfg.error());
    log_error(line);
    return 1;
}

/// "korvel <usb-id>": the configuration in the foreground.
int configure_by_hand(modem_state& st, const char* usb_id) {
    copy_text(st.usb_id, usb_id);
    config_store cfg;
    if (!cfg.ok()) return no_context();
    if (!lookup_modem(st, st.usb_id)) {
        if (!unknown_modems_auto(cfg)) {
            std::fprintf(stderr, "Modem %s not found in configurations.\n", st.usb_id);
            return 0;
        }
        char info[320];
        bool quiet = false;
        if (!choose_automatically(st, info, quiet)) {
            std::fprintf(stderr, "%s\n", info);
            return 0;
        }
    }
    st.foreground = true;
    return setup_modem(st, cfg, st.usb_id);
}

} // namespace

bool valid_usb_id(const char* id) {
    for (const char* p = id; *p; ++p) {
        char c = *p;
        bool ok =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/';
        if (!ok) return false;
    }
    return true;
}

int setup_modem(modem_state& st, config_store& cfg, const char* usb_id) {
    copy_text(st.usb_id, usb_id);
    st.log_quiet = check_marker(run_marker);
    run_shell(clear_luci_cache);

    if (!automatic_configuration_on(cfg)) {
        // A switch that cannot be read is no switch that is off.
        if (!cfg.readable("modeminfo")) return setup_failed(st, cfg);
        smstools_control(sms_action::start);
        return 0;
    }

    if (st.rebind_at_setup) {
        char vendor[16];
        char product[16];
        if (split_usb_id(st.usb_id, vendor, product) == 2) {
            wait_seconds(rebind_settle_s);
            rebind_usb_device(vendor, st.usb_id);
        }
        wait_seconds(1);
    }

    // ModemManager's own tty hotplug hook and protocol page would fight the
    // configuration written here.
    unlink("/etc/hotplug.d/tty/25-modemmanager-tty");
    unlink("/usr/share/luci/menu.d/luci-proto-modemmanager.json");

    log_line(st, "korvel: starting modem configuration");
    cfg.get("korvel.main.modem", st.saved_model);
    if (!st.automatic) load_at_commands(st); // no list for a modem without a catalogue line
    if (st.hilink) wait_seconds(hilink_settle_s);
    log_fmt(st, "korvel: usb %s; model %s", st.usb_id, st.model);
    report_choice(st);

    if (find_data_device(st) != 0) return 1;
    if (st.automatic) find_modem_ports(st);
    read_current_values(cfg, st);

    // Without an AT port (a modem found without a catalogue line, for which
    // ModemManager named none) the AT and SMS tools are left as they are.
    bool at_port = st.at_port[0] != '\0';
    bool sms_port = st.sms_port[0] != '\0';
    if (!configure_network(cfg, st) || !configure_firewall(cfg)) return setup_failed(st, cfg);
    if (at_port && !configure_modeminfo(cfg, st)) return setup_failed(st, cfg);
    if (!st.hilink && std::strcmp(st.current_mm_device, st.data_device) != 0 &&
        !configure_mmconfig(cfg, st))
        return setup_failed(st, cfg);
    if (at_port && std::strcmp(st.current_atc_port, st.at_port) != 0 && !configure_atinout(cfg, st))
        return setup_failed(st, cfg);
    if (!update_at_commands(cfg, st)) return setup_failed(st, cfg);
    if (sms_port && std::strcmp(st.current_sms_device, st.sms_port) != 0 &&
        !configure_smstools(cfg, st))
        return setup_failed(st, cfg);

    if (st.mbim) run_shell(interface_up_watch);
    run_shell(clear_luci_cache);
    smstools_control(sms_action::start);
    log_fmt(st, "korvel: %s modem setup complete", st.model);
    return 0;
}

int run_korvel(int argc, char** argv) {
    modem_state st;
    reset_state(st);

    if (argc < 2) {
        print_banner();
        return 0;
    }
    if (std::strcmp(argv[1], "-santa") == 0) {
        std::puts("16?");
        return 0;
    }
    if (argc == 2) return configure_by_hand(st, argv[1]);

    if (!valid_usb_id(argv[2])) return 0;
    copy_text(st.usb_id, argv[2]);
    config_store cfg;
    if (!cfg.ok()) return no_context();
    if (std::strcmp(argv[1], "add") == 0) return handle_add(st, cfg);
    if (std::strcmp(argv[1], "remove") == 0) return handle_remove(st, cfg);
    return 0;
}

} // namespace korvel
