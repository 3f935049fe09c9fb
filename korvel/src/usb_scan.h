// Reading a USB device's functions from sysfs for the automatic choice:
// /sys/bus/usb/devices/<dev> (or the hotplug event's own DEVPATH) and its
// interfaces: class, subclass, protocol, bound driver, tty and net children.
#pragma once

#include "auto_mode.h"

namespace korvel {

inline constexpr int usb_settle_waits = 5; // one-second waits for drivers to bind

/// Finds the device of `usb_id` ("vendor/product[/release]", hexadecimal):
/// the one the hotplug event names in DEVPATH when it has that id, else the
/// first under /sys/bus/usb/devices with that vendor, product and (when the
/// id has one) release. Fills `dev` with its interfaces in interface order.
/// False when no such device is present.
bool read_usb_device(const char* usb_id, usb_device_info& dev);

/// read_usb_device, again after a second while the device is present but not
/// settled (an interface missing or without a driver), at most
/// usb_settle_waits times. False when the device is not present.
bool examine_usb_device(const char* usb_id, usb_device_info& dev);

} // namespace korvel
