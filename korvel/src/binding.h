// Add-time driver binding for catalogue entries flagged "init" and the USB
// re-enumeration of entries flagged "init0". Works on the sysfs tree of USB
// devices, drivers and ttys; every wait is a whole-second sleep with a bound.
#pragma once

#include <cstddef>

namespace korvel {

/// Splits a USB id "vendor/product/..." into its first two parts (each at most
/// 15 characters; a missing part is empty). Returns how many parts were read.
int split_usb_id(const char* usb_id, char (&vendor)[16], char (&product)[16]);

/// The first device under /sys/bus/usb/devices (directory order) whose
/// idVendor equals `vendor` as a hexadecimal number; its name goes to `name`.
bool find_usb_device(const char* vendor, char (&name)[64]);

/// Unbinds and binds the device of `vendor` at the generic USB driver; for the
/// ids "413c/81e0/*" restarts ModemManager afterwards.
void rebind_usb_device(const char* vendor, const char* usb_id);

/// Writes "-1", waits a second, writes "1" to a bConfigurationValue attribute.
void reset_configuration(const char* attribute);

/// The four binding stages: QMI binding, configuration switch, serial binding
/// (always) and mode switch.
void bind_drivers(const char* usb_id);

} // namespace korvel
