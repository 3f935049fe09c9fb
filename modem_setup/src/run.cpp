#include "run.h"

#include "binding.h"
#include "catalogue.h"
#include "config_store.h"
#include "config_writer.h"
#include "log.h"
#include "ports.h"
#include "process.h"
#include "seam.h"
#include "sms_daemon.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace korvel {

namespace {

constexpr const char* clear_luci_cache = "rm -rf /tmp/luci-*";
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

bool automatic_configuration_on() {
    char value[16];
    cfg_get("modeminfo.@general[0].korvel", value, sizeof value);
    return value[0] && std::strcmp(value, "0") != 0;
}

void handle_add(modem_state& st) {
    if (!lookup_modem(st, st.usb_id)) return;
    if (st.bind_at_add) {
        if (!check_marker(init_marker)) log_line(st, "korvel: modem initialization");
        bind_drivers(st.usb_id);
    }
    if (other_instance_running("korvel")) return;

    std::fflush(nullptr);
    pid_t child = fork();
    if (child < 0) return;
    if (child == 0) {
        pid_t grandchild = fork();
        if (grandchild == 0) _exit(setup_modem(st, st.usb_id));
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

void handle_remove(modem_state& st) {
    if (!lookup_modem(st, st.usb_id)) return;
    smstools_control(sms_action::stop);
    undo_modem_config(st);
    if (st.bind_at_add) run_shell(reload_option_driver);
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

int setup_modem(modem_state& st, const char* usb_id) {
    copy_text(st.usb_id, usb_id);
    st.log_quiet = check_marker(run_marker);
    cfg_open();
    cfg_scope closing;
    run_shell(clear_luci_cache);

    if (!automatic_configuration_on()) {
        smstools_control(sms_action::start);
        return 0;
    }

    if (st.rebind_at_setup) {
        char vendor[16];
        char product[16];
        if (std::sscanf(st.usb_id, "%15[^/]/%15[^/]", vendor, product) == 2) {
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
    cfg_get("korvel.main.modem", st.saved_model, sizeof st.saved_model);
    load_at_commands(st);
    if (st.hilink) wait_seconds(hilink_settle_s);
    log_fmt(st, "korvel: usb %s; model %s", st.usb_id, st.model);

    if (find_data_device(st) != 0) return 1;
    read_current_values(st);

    configure_network(st);
    configure_firewall();
    configure_modeminfo(st);
    if (!st.hilink && std::strcmp(st.current_mm_device, st.data_device) != 0)
        configure_mmconfig(st);
    if (std::strcmp(st.current_atc_port, st.at_port) != 0) configure_atinout(st);
    update_at_commands(st);
    if (std::strcmp(st.current_sms_device, st.sms_port) != 0) configure_smstools(st);

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
    if (argc == 2) {
        copy_text(st.usb_id, argv[1]);
        if (!lookup_modem(st, st.usb_id)) {
            std::fprintf(stderr, "Modem %s not found in configurations.\n", st.usb_id);
            return 0;
        }
        return setup_modem(st, st.usb_id);
    }

    if (!valid_usb_id(argv[2])) return 0;
    copy_text(st.usb_id, argv[2]);
    cfg_open();
    cfg_scope closing;
    if (std::strcmp(argv[1], "add") == 0)
        handle_add(st);
    else if (std::strcmp(argv[1], "remove") == 0)
        handle_remove(st);
    return 0;
}

} // namespace korvel
