// Finding the device through which the modem carries data, by mode.
#pragma once

#include "modem_state.h"

namespace korvel {

/// Interface names a HiLink modem can have: "eth" or "usb" and digits only.
bool hilink_candidate(const char* name);

/// The first interface under /sys/class/net that is a HiLink candidate driven
/// by cdc_ether or rndis_host; false (empty `buf`) when there is none.
bool find_hilink_netdev(char* buf, std::size_t cap);

/// Fills st.data_device (and, in the ModemManager mode, st.mm_drivers and
/// st.operator_code). Returns 0, or 1 when the ModemManager mode cannot go on:
/// no mmcli, no modem reported, a catalogued modem without a qmi or mbim
/// driver, or no device path within the bound of tries. A modem configured
/// without a catalogue line goes on with any driver ModemManager reports.
int find_data_device(modem_state& st);

/// For a modem configured without a catalogue line (not HILINK, which has no
/// serial port): its AT port from ModemManager's port list (the primary port
/// when it is an AT port, else the first AT port) into st.at_port and
/// st.sms_port, and its QMI port into st.qmi_device. Asks up to 10 times, a
/// second apart, while ModemManager lists no ports; nothing when there is no
/// mmcli. False (ports left empty) when no AT port was found.
bool find_modem_ports(modem_state& st);

} // namespace korvel
