// The automatic choice for a USB device that no catalogue line names: which
// connection mode its USB functions call for, the model name it is known by,
// and its AT port from ModemManager's port list. Pure: the functions work on
// what the sysfs scan (usb_scan) and the ModemManager queries (ports) read.
#pragma once

#include "modem_state.h"

namespace korvel {

inline constexpr int max_usb_functions = 32;

/// One interface of a USB device as sysfs shows it.
struct usb_function {
    char name[64];    // interface directory name, "1-1:1.4"
    char cls[3];      // bInterfaceClass, two lower-case hex digits ("ff")
    char subclass[3]; // bInterfaceSubClass
    char protocol[3]; // bInterfaceProtocol
    char driver[32];  // bound driver ("qmi_wwan"); empty when none is bound
    bool tty;         // has a tty child (ttyUSB*, ttyACM*)
    bool net;         // has a network interface child
};

/// A USB device and its interfaces, in interface order.
struct usb_device_info {
    char name[64];           // device directory name, "1-1"
    char device_class[3];    // bDeviceClass ("09" for a hub)
    int interfaces_expected; // bNumInterfaces of the active configuration; -1 unknown
    int count;
    usb_function functions[max_usb_functions];
};

enum class auto_mode { none, mbim, ncm, modemmanager, hilink };

struct auto_choice {
    auto_mode mode;
    char reason[160]; // what the device showed, for the log ("qmi_wwan bound to 1-1:1.4")
};

/// The mode the device's functions call for, in this order: an MBIM function
/// (class 02/0e, or cdc_mbim bound); an NCM function (02/0d, or cdc_ncm or
/// huawei_cdc_ncm bound); a QMI function (qmi_wwan bound), or serial ports
/// (option, qcserial, sierra, cdc_acm) with no Ethernet-style function: the
/// ModemManager mode; an Ethernet-style function (ECM 02/06, RNDIS e0/01/03
/// or ef/04/01, cdc_ether or rndis_host bound) and no serial port: HILINK.
/// Anything else is no modem korvel can configure (reason: its interfaces).
auto_choice classify_usb_device(const usb_device_info& dev);

/// Every interface the configuration announces is there and has a driver:
/// the classification will not change any more.
bool usb_device_settled(const usb_device_info& dev);

/// A hub (device class 09): passed over without a log line.
bool usb_hub(const usb_device_info& dev);

/// "auto-<vid>-<pid>" with four lower-case hex digits each (as lsusb shows
/// them) from a USB id "vendor/product[/release]"; false when the id does
/// not start with two hexadecimal numbers.
bool auto_model_name(const char* usb_id, char (&model)[64]);

/// Fills `st` for a device without a catalogue line: model "auto-<vid>-<pid>",
/// the mode flag, no AT or SMS port yet (they come from ModemManager), no SMS
/// init string, and the reason in st.choice. False for auto_mode::none or an
/// id without a model name.
bool apply_auto_choice(const auto_choice& choice, const char* usb_id, modem_state& st);

/// Picks the modem's AT port from ModemManager's port list (`ports`: one
/// "<name> (<type>)" per line) and its primary port: the primary port when
/// its type is "at", else the first port of type "at". The first port of type
/// "qmi" goes to `qmi` when there is one. Names come back as "/dev/<name>".
/// False (and `at` empty) when the list has no AT port.
bool pick_at_port(const char* primary, const char* ports, char (&at)[64], char (&qmi)[64]);

} // namespace korvel
