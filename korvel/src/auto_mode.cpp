#include "auto_mode.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace korvel {

namespace {

using driver_set = std::initializer_list<const char*>;

const driver_set mbim_drivers = {"cdc_mbim"};
const driver_set ncm_drivers = {"cdc_ncm", "huawei_cdc_ncm"};
const driver_set qmi_drivers = {"qmi_wwan"};
const driver_set serial_drivers = {"option", "qcserial", "sierra", "cdc_acm"};
const driver_set ether_drivers = {"cdc_ether", "rndis_host"};

bool driver_in(const usb_function& f, driver_set set) {
    for (const char* d : set)
        if (std::strcmp(f.driver, d) == 0) return true;
    return false;
}

bool class_is(const usb_function& f, const char* cls, const char* sub, const char* proto) {
    return std::strcmp(f.cls, cls) == 0 && std::strcmp(f.subclass, sub) == 0 &&
           (!proto || std::strcmp(f.protocol, proto) == 0);
}

bool mbim_function(const usb_function& f) {
    return class_is(f, "02", "0e", nullptr) || driver_in(f, mbim_drivers);
}
bool ncm_function(const usb_function& f) {
    return class_is(f, "02", "0d", nullptr) || driver_in(f, ncm_drivers);
}
bool qmi_function(const usb_function& f) {
    return driver_in(f, qmi_drivers);
}
bool serial_function(const usb_function& f) {
    return driver_in(f, serial_drivers);
}
bool ether_function(const usb_function& f) {
    return class_is(f, "02", "06", nullptr) || class_is(f, "e0", "01", "03") ||
           class_is(f, "ef", "04", "01") || driver_in(f, ether_drivers);
}

const usb_function* first(const usb_device_info& dev, bool (*test)(const usb_function&)) {
    for (int i = 0; i < dev.count; ++i)
        if (test(dev.functions[i])) return &dev.functions[i];
    return nullptr;
}

/// "<driver> bound to <interface>" when the driver is one of `drivers`,
/// else "<kind> function (<class>/<subclass>/<protocol>) at <interface>".
void describe(const usb_function& f, driver_set drivers, const char* kind, const char* tail,
              auto_choice& out) {
    if (driver_in(f, drivers))
        std::snprintf(out.reason, sizeof out.reason, "%s bound to %s%s", f.driver, f.name, tail);
    else
        std::snprintf(out.reason, sizeof out.reason, "%s function (%s/%s/%s) at %s%s", kind, f.cls,
                      f.subclass, f.protocol, f.name, tail);
}

/// "interfaces 03/01/01 usbhid, 03/00/00 usbhid" (as much as fits).
void list_interfaces(const usb_device_info& dev, auto_choice& out) {
    if (dev.count == 0) {
        std::snprintf(out.reason, sizeof out.reason, "no interfaces");
        return;
    }
    std::size_t used = 0;
    for (int i = 0; i < dev.count; ++i) {
        const usb_function& f = dev.functions[i];
        char entry[64];
        int n = std::snprintf(entry, sizeof entry, "%s%s/%s/%s%s%s", i == 0 ? "interfaces " : ", ",
                              f.cls, f.subclass, f.protocol, f.driver[0] ? " " : "", f.driver);
        if (n < 0 || used + static_cast<std::size_t>(n) >= sizeof out.reason) break;
        std::memcpy(out.reason + used, entry, static_cast<std::size_t>(n) + 1);
        used += static_cast<std::size_t>(n);
    }
}

/// A hexadecimal number up to 0xffff at `p`; moves `p` past it.
bool hex_part(const char*& p, unsigned& value) {
    char* end = nullptr;
    if (!*p || !std::strchr("0123456789abcdefABCDEF", *p)) return false;
    unsigned long v = std::strtoul(p, &end, 16);
    if (end == p || v > 0xffff) return false;
    value = static_cast<unsigned>(v);
    p = end;
    return true;
}

} // namespace

auto_choice classify_usb_device(const usb_device_info& dev) {
    auto_choice out{};
    out.mode = auto_mode::none;
    bool serial = first(dev, serial_function) != nullptr;
    bool ether = first(dev, ether_function) != nullptr;
    if (const usb_function* f = first(dev, mbim_function)) {
        out.mode = auto_mode::mbim;
        describe(*f, mbim_drivers, "MBIM", "", out);
    } else if (const usb_function* f = first(dev, ncm_function)) {
        out.mode = auto_mode::ncm;
        describe(*f, ncm_drivers, "NCM", "", out);
    } else if (const usb_function* f = first(dev, qmi_function)) {
        out.mode = auto_mode::modemmanager;
        describe(*f, qmi_drivers, "QMI", "", out);
    } else if (serial && !ether) {
        const usb_function* f = first(dev, serial_function);
        out.mode = auto_mode::modemmanager;
        std::snprintf(out.reason, sizeof out.reason,
                      "serial ports on %s (%s), no Ethernet-style function", f->driver, f->name);
    } else if (ether && !serial) {
        out.mode = auto_mode::hilink;
        describe(*first(dev, ether_function), ether_drivers, "Ethernet-style", ", no serial port",
                 out);
    } else {
        list_interfaces(dev, out);
    }
    return out;
}

bool usb_device_settled(const usb_device_info& dev) {
    if (dev.count == 0) return false;
    if (dev.interfaces_expected >= 0 && dev.count < dev.interfaces_expected) return false;
    for (int i = 0; i < dev.count; ++i)
        if (!dev.functions[i].driver[0]) return false;
    return true;
}

bool usb_hub(const usb_device_info& dev) {
    return std::strcmp(dev.device_class, "09") == 0;
}

bool auto_model_name(const char* usb_id, char (&model)[64]) {
    model[0] = '\0';
    const char* p = usb_id;
    unsigned vendor = 0;
    unsigned product = 0;
    if (!hex_part(p, vendor) || *p != '/') return false;
    ++p;
    if (!hex_part(p, product) || (*p && *p != '/')) return false;
    std::snprintf(model, sizeof model, "auto-%04x-%04x", vendor, product);
    return true;
}

bool apply_auto_choice(const auto_choice& choice, const char* usb_id, modem_state& st) {
    if (choice.mode == auto_mode::none) return false;
    char model[64];
    if (!auto_model_name(usb_id, model)) return false;
    copy_text(st.model, model);
    st.hilink = choice.mode == auto_mode::hilink;
    st.ncm = choice.mode == auto_mode::ncm;
    st.mbim = choice.mode == auto_mode::mbim;
    st.xmm = st.mdm = false;
    st.bind_at_add = st.rebind_at_setup = false;
    st.automatic = true;
    copy_text(st.sms_init, "NAN");
    st.at_port[0] = '\0';
    st.sms_port[0] = '\0';
    std::snprintf(st.choice, sizeof st.choice, "no catalogue line; %s", choice.reason);
    return true;
}

bool pick_at_port(const char* primary, const char* ports, char (&at)[64], char (&qmi)[64]) {
    at[0] = '\0';
    char first_at[59] = "";
    char primary_at[59] = "";
    bool qmi_found = false;
    const char* line = ports;
    while (*line) {
        std::size_t len = std::strcspn(line, "\r\n");
        char entry[128];
        std::snprintf(entry, sizeof entry, "%.*s", static_cast<int>(len), line);
        line += len;
        line += std::strspn(line, "\r\n");
        char name[59]; // "/dev/" and the name fit in 63 characters
        char type[32];
        if (std::sscanf(entry, " %58[^ (] (%31[^)])", name, type) != 2) continue;
        if (std::strcmp(type, "at") == 0) {
            if (!first_at[0]) copy_text(first_at, name);
            if (primary && std::strcmp(primary, name) == 0) copy_text(primary_at, name);
        } else if (std::strcmp(type, "qmi") == 0 && !qmi_found) {
            std::snprintf(qmi, sizeof qmi, "/dev/%s", name);
            qmi_found = true;
        }
    }
    const char* chosen = primary_at[0] ? primary_at : first_at;
    if (!chosen[0]) return false;
    std::snprintf(at, sizeof at, "/dev/%s", chosen);
    return true;
}

} // namespace korvel
