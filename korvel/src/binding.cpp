#include "binding.h"

#include "files.h"
#include "handles.h"
#include "modem_state.h"
#include "process.h"
#include "seam.h"
#include "text.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fnmatch.h>
#include <unistd.h>

namespace korvel {

namespace {

constexpr const char* usb_devices = "/sys/bus/usb/devices";
constexpr const char* qmi_new_id = "/sys/bus/usb/drivers/qmi_wwan/new_id";
constexpr const char* qmi_unbind = "/sys/bus/usb/drivers/qmi_wwan/unbind";
constexpr const char* option_new_id = "/sys/bus/usb-serial/drivers/option1/new_id";
constexpr const char* option_unbind = "/sys/bus/usb/drivers/option/unbind";
constexpr const char* usb_unbind = "/sys/bus/usb/drivers/usb/unbind";
constexpr const char* usb_bind = "/sys/bus/usb/drivers/usb/bind";
constexpr const char* tty_class = "/sys/class/tty";

constexpr int qmi_device_tries = 15;
constexpr int qmi_passes = 20;
constexpr int switch_device_tries = 20;
constexpr int switch_passes = 20;
constexpr int serial_passes = 15;
constexpr unsigned long_wait_s = 10;

bool matches(const char* pattern, const char* usb_id) {
    return fnmatch(pattern, usb_id, 0) == 0;
}

/// Up to `tries` look-ups of the vendor's device, one second apart.
bool wait_for_device(const char* vendor, int tries, char (&dev)[64]) {
    for (int i = 0; i < tries; ++i) {
        if (find_usb_device(vendor, dev)) return true;
        if (i + 1 < tries) wait_seconds(1);
    }
    return false;
}

bool dev_has_cdc_wdm() {
    return find_entry("/dev", [](const char* name) { return starts_with(name, "cdc-wdm"); });
}

/// Link target of /sys/class/tty/<name> names an interface of `dev`.
bool tty_belongs_to(const char* name, const char* dev) {
    char path[512]; // room for any directory entry name
    char target[512];
    char needle[72];
    std::snprintf(path, sizeof path, "%s/%s", tty_class, name);
    if (!read_link(path, target, sizeof target)) return false;
    std::snprintf(needle, sizeof needle, "/%s:", dev);
    return std::strstr(target, needle) != nullptr;
}

/// First line of a device attribute, at most `cap` - 1 characters.
bool read_attr(const char* dev, const char* attr, char* buf, std::size_t cap) {
    char path[PATH_MAX]; // room for any device name and attribute
    std::snprintf(path, sizeof path, "%s/%s/%s", usb_devices, dev, attr);
    return read_first_line(path, buf, cap);
}

void stage_qmi(const char* usb_id, const char* vendor, const char* id_pair) {
    char dev[64];
    wait_for_device(vendor, qmi_device_tries, dev);
    rebind_usb_device(vendor, usb_id);
    wait_seconds(1);
    for (int pass = 0; pass < qmi_passes; ++pass) {
        write_sysfs(qmi_new_id, id_pair);
        if (dev_has_cdc_wdm()) {
            wait_seconds(2);
            if (find_usb_device(vendor, dev)) {
                char value[16];
                int config = 1;
                if (read_attr(dev, "bConfigurationValue", value, sizeof value))
                    config = std::atoi(value);
                for (int iface = 2; iface <= 4; ++iface) {
                    char text[96];
                    std::snprintf(text, sizeof text, "%s:%d.%d", dev, config, iface);
                    write_sysfs(qmi_unbind, text);
                }
            }
            return;
        }
        wait_seconds(1);
    }
}

bool manufacturer_supported(const char* dev) {
    char text[256];
    if (!read_attr(dev, "manufacturer", text, sizeof text)) return false;
    for (char* p = text; *p; ++p)
        *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    return std::strstr(text, "dell") || std::strstr(text, "telit") || std::strstr(text, "qualcomm");
}

void stage_config_switch(const char* usb_id, const char* vendor) {
    char dev[64];
    wait_for_device(vendor, switch_device_tries, dev);
    rebind_usb_device(vendor, usb_id);
    wait_seconds(1);
    if (!wait_for_device(vendor, switch_passes, dev)) return;
    if (!manufacturer_supported(dev)) return;

    char attr[256];
    std::snprintf(attr, sizeof attr, "%s/%s/bConfigurationValue", usb_devices, dev);
    char value[256];
    if (!read_first_line(attr, value, sizeof value)) {
        wait_seconds(long_wait_s);
        if (!read_first_line(attr, value, sizeof value)) return;
    }
    if (value[0] != '2') return; // already in another configuration

    reset_configuration(attr);
    wait_seconds(long_wait_s);
    if (read_first_line(attr, value, sizeof value) && value[0] == '1') return;
    reset_configuration(attr);
    wait_seconds(1);
    if (read_first_line(attr, value, sizeof value) && value[0] == '1') return;
    wait_seconds(long_wait_s);
    reset_configuration(attr);
}

void write_serial_ids(const char* id_pair, const char* product) {
    write_sysfs(option_new_id, id_pair);
    if (std::strcmp(product, "1910") == 0) write_sysfs(option_new_id, "1bc7 1911");
    if (std::strcmp(product, "857") == 0) write_sysfs(option_new_id, "3f0 a57");
}

bool attr_starts(const char* iface, const char* attr, const char* want, bool* readable) {
    char value[32];
    if (!read_attr(iface, attr, value, sizeof value)) {
        *readable = false;
        return false;
    }
    return std::strncmp(value, want, 2) == 0;
}

/// Adb and fastboot interfaces (class ff, subclass 42, protocol 01 or 03) must
/// not be held by the serial driver.
bool debug_bridge_interface(const char* iface) {
    bool readable = true;
    bool cls = attr_starts(iface, "bInterfaceClass", "ff", &readable);
    bool sub = attr_starts(iface, "bInterfaceSubClass", "42", &readable);
    bool p1 = attr_starts(iface, "bInterfaceProtocol", "01", &readable);
    bool p3 = attr_starts(iface, "bInterfaceProtocol", "03", &readable);
    return readable && cls && sub && (p1 || p3);
}

void stage_serial(const char* vendor, const char* product, const char* id_pair) {
    write_serial_ids(id_pair, product);

    char dev[64];
    if (!find_usb_device(vendor, dev)) return;

    for (int pass = 0; pass < serial_passes; ++pass) {
        wait_seconds(1);
        bool up = find_entry(tty_class, [&](const char* name) {
            return starts_with(name, "ttyUSB") && tty_belongs_to(name, dev);
        });
        if (up) break;
        if (pass + 1 < serial_passes) write_serial_ids(id_pair, product);
    }

    wait_seconds(1);
    char dir[256];
    std::snprintf(dir, sizeof dir, "%s/%s", usb_devices, dev);
    find_entry(dir, [&](const char* name) {
        if (starts_with(name, dev) && std::strchr(name, ':') && debug_bridge_interface(name)) {
            char text[260];
            std::snprintf(text, sizeof text, "%s\n", name);
            write_sysfs(option_unbind, text);
        }
        return false;
    });
}

void stage_mode_switch(const char* vendor) {
    wait_seconds(1);
    char dev[64];
    if (!find_usb_device(vendor, dev)) return;
    long best = -1;
    find_entry(tty_class, [&](const char* name) {
        long n = 0;
        if (prefix_and_number(name, "ttyUSB", &n) && n <= 0x7fffffff && tty_belongs_to(name, dev) &&
            n > best)
            best = n;
        return false;
    });
    if (best < 0) return;
    char path[64];
    std::snprintf(path, sizeof path, "/dev/ttyUSB%d", static_cast<int>(best));
    unique_fd fd(open(path, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return;
    static constexpr char command[] = "at^setmode=1\r";
    ssize_t n = write(fd.get(), command, sizeof command - 1);
    (void)n; // no answer is read
}

} // namespace

int split_usb_id(const char* usb_id, char (&vendor)[16], char (&product)[16]) {
    vendor[0] = product[0] = '\0';
    int n = std::sscanf(usb_id, "%15[^/]/%15[^/]", vendor, product);
    return n < 0 ? 0 : n;
}

bool find_usb_device(const char* vendor, char (&name)[64]) {
    name[0] = '\0';
    long want = std::strtol(vendor, nullptr, 16);
    return find_entry(usb_devices, [&](const char* entry) {
        char path[256];
        char value[32];
        std::snprintf(path, sizeof path, "%s/%s/idVendor", usb_devices, entry);
        if (!read_first_line(path, value, sizeof value)) return false;
        cut_line_end(value);
        if (std::strtol(value, nullptr, 16) != want) return false;
        copy_text(name, entry);
        return true;
    });
}

void rebind_usb_device(const char* vendor, const char* usb_id) {
    char dev[64];
    if (!find_usb_device(vendor, dev)) return;
    char text[80];
    std::snprintf(text, sizeof text, "%s\n", dev);
    wait_seconds(1);
    write_sysfs(usb_unbind, text);
    wait_seconds(1);
    write_sysfs(usb_bind, text);
    if (matches("413c/81e0/*", usb_id)) {
        wait_seconds(1);
        run_shell("service modemmanager restart");
    }
}

void reset_configuration(const char* attribute) {
    write_sysfs(attribute, "-1");
    wait_seconds(1);
    write_sysfs(attribute, "1");
}

void bind_drivers(const char* usb_id) {
    char vendor[16];
    char product[16];
    split_usb_id(usb_id, vendor, product);
    char id_pair[64];
    std::snprintf(id_pair, sizeof id_pair, "%s %s", vendor, product);

    if (matches("1bc7/1910/*", usb_id)) stage_qmi(usb_id, vendor, id_pair);
    if (matches("1bc7/1900/*", usb_id) || matches("413c/81d7/*", usb_id) ||
        matches("3f0/857/*", usb_id))
        stage_config_switch(usb_id, vendor);
    stage_serial(vendor, product, id_pair);
    if (matches("3f0/857/*", usb_id)) stage_mode_switch(vendor);
}

} // namespace korvel
