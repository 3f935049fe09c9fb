#include "usb_scan.h"

#include "files.h"
#include "seam.h"
#include "text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace korvel {

namespace {

constexpr const char* usb_devices = "/sys/bus/usb/devices";

struct usb_id_parts {
    unsigned long vendor, product, release;
    bool has_release;
};

bool parse_hex(const char*& p, unsigned long& value) {
    char* end = nullptr;
    if (!*p || !std::strchr("0123456789abcdefABCDEF", *p)) return false;
    value = std::strtoul(p, &end, 16);
    p = end;
    return true;
}

bool parse_usb_id(const char* id, usb_id_parts& out) {
    const char* p = id;
    out.has_release = false;
    if (!parse_hex(p, out.vendor) || *p++ != '/') return false;
    if (!parse_hex(p, out.product)) return false;
    if (*p == '\0') return true;
    if (*p++ != '/' || !parse_hex(p, out.release)) return false;
    out.has_release = true;
    return true;
}

/// First line of `dir`/`attr`, line end and blanks removed.
bool read_attr(const char* dir, const char* attr, char* buf, std::size_t cap) {
    char path[512];
    if (std::snprintf(path, sizeof path, "%s/%s", dir, attr) >= static_cast<int>(sizeof path))
        return false;
    if (!read_first_line(path, buf, cap)) return false;
    cut_line_end(buf);
    trim_blanks(buf);
    return true;
}

bool attr_hex_equals(const char* dir, const char* attr, unsigned long want) {
    char value[32];
    if (!read_attr(dir, attr, value, sizeof value) || !value[0]) return false;
    char* end = nullptr;
    unsigned long v = std::strtoul(value, &end, 16);
    return *end == '\0' && v == want;
}

bool device_has_id(const char* dir, const usb_id_parts& id) {
    return attr_hex_equals(dir, "idVendor", id.vendor) &&
           attr_hex_equals(dir, "idProduct", id.product) &&
           (!id.has_release || attr_hex_equals(dir, "bcdDevice", id.release));
}

/// The event's own device: "/sys" + DEVPATH, when it is a plain device path.
bool event_device_dir(char (&dir)[512]) {
    const char* devpath = std::getenv("DEVPATH");
    if (!devpath || !starts_with(devpath, "/devices/") || std::strstr(devpath, "/..") ||
        std::strlen(devpath) > 400)
        return false;
    std::snprintf(dir, sizeof dir, "/sys%s", devpath);
    return true;
}

bool find_device_dir(const usb_id_parts& id, char (&dir)[512]) {
    if (event_device_dir(dir) && device_has_id(dir, id)) return true;
    return find_entry(usb_devices, [&](const char* name) {
        if (std::strchr(name, ':')) return false; // an interface
        std::snprintf(dir, sizeof dir, "%s/%s", usb_devices, name);
        return device_has_id(dir, id);
    });
}

bool is_dir(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

/// The number after the last "." of an interface name ("1-1:1.12" -> 12).
long interface_number(const char* name) {
    const char* dot = std::strrchr(name, '.');
    return dot ? std::strtol(dot + 1, nullptr, 10) : 0;
}

void read_function(const char* iface_dir, const char* name, usb_function& f) {
    std::memset(&f, 0, sizeof f);
    copy_text(f.name, sizeof f.name, name);
    char value[32];
    if (read_attr(iface_dir, "bInterfaceClass", value, sizeof value))
        copy_text(f.cls, sizeof f.cls, value);
    if (read_attr(iface_dir, "bInterfaceSubClass", value, sizeof value))
        copy_text(f.subclass, sizeof f.subclass, value);
    if (read_attr(iface_dir, "bInterfaceProtocol", value, sizeof value))
        copy_text(f.protocol, sizeof f.protocol, value);
    for (char* p : {f.cls, f.subclass, f.protocol})
        for (; *p; ++p)
            if (*p >= 'A' && *p <= 'F') *p = static_cast<char>(*p - 'A' + 'a');

    char path[776]; // an interface directory and "/driver"
    char target[512];
    std::snprintf(path, sizeof path, "%s/driver", iface_dir);
    if (read_link(path, target, sizeof target)) {
        const char* slash = std::strrchr(target, '/');
        copy_text(f.driver, sizeof f.driver, slash ? slash + 1 : target);
    }
    // usb-serial ports are children named after the tty; cdc_acm puts its
    // ttys under "tty", network drivers their interfaces under "net".
    find_entry(iface_dir, [&](const char* child) {
        if (starts_with(child, "ttyUSB") || starts_with(child, "ttyACM")) f.tty = true;
        return false;
    });
    std::snprintf(path, sizeof path, "%s/tty", iface_dir);
    if (is_dir(path)) f.tty = true;
    std::snprintf(path, sizeof path, "%s/net", iface_dir);
    if (is_dir(path)) f.net = true;
}

void read_device(const char* dir, usb_device_info& dev) {
    std::memset(&dev, 0, sizeof dev);
    const char* slash = std::strrchr(dir, '/');
    copy_text(dev.name, sizeof dev.name, slash ? slash + 1 : dir);
    char value[32];
    if (read_attr(dir, "bDeviceClass", value, sizeof value))
        copy_text(dev.device_class, sizeof dev.device_class, value);
    dev.interfaces_expected = -1;
    if (read_attr(dir, "bNumInterfaces", value, sizeof value) && value[0])
        dev.interfaces_expected = std::atoi(value);

    char prefix[72];
    std::snprintf(prefix, sizeof prefix, "%s:", dev.name);
    find_entry(dir, [&](const char* name) {
        if (!starts_with(name, prefix) || dev.count >= max_usb_functions) return false;
        char iface_dir[768]; // the device's directory, "/" and a directory entry
        std::snprintf(iface_dir, sizeof iface_dir, "%s/%s", dir, name);
        usb_function f;
        read_function(iface_dir, name, f);
        // In interface order, whatever order the directory lists them in.
        int at = dev.count;
        while (at > 0 && interface_number(dev.functions[at - 1].name) > interface_number(name)) {
            dev.functions[at] = dev.functions[at - 1];
            --at;
        }
        dev.functions[at] = f;
        ++dev.count;
        return false;
    });
}

} // namespace

bool read_usb_device(const char* usb_id, usb_device_info& dev) {
    std::memset(&dev, 0, sizeof dev);
    usb_id_parts id;
    char dir[512];
    if (!parse_usb_id(usb_id, id) || !find_device_dir(id, dir)) return false;
    read_device(dir, dev);
    return true;
}

bool examine_usb_device(const char* usb_id, usb_device_info& dev) {
    if (!read_usb_device(usb_id, dev)) return false;
    for (int wait = 0; wait < usb_settle_waits && !usb_device_settled(dev); ++wait) {
        wait_seconds(1);
        if (!read_usb_device(usb_id, dev)) return false;
    }
    return true;
}

} // namespace korvel
