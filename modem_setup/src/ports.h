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
/// no mmcli, no modem reported, a modem without a qmi or mbim driver, or no
/// device path within the bound of tries.
int find_data_device(modem_state& st);

} // namespace korvel
