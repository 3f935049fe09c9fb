// Properties the packet code must keep for any bytes at all; shared by the libFuzzer target and
// the seeded random-input unit test. Aborts (via __builtin_trap) when one is broken, so both
// harnesses and the sanitizers see the fault.
#pragma once

#include "dns_packet.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace velmora {

namespace invariants_detail {
inline void require(bool ok) {
    if (!ok) __builtin_trap();
}
} // namespace invariants_detail

inline void check_packet_invariants(const uint8_t* data, size_t size) {
    // Exactly-sized heap copies, so that ASan flags a read one byte past the message.
    std::unique_ptr<uint8_t[]> msg(new uint8_t[size ? size : 1]);
    if (size) std::memcpy(msg.get(), data, size);

    char name[qname_cap];
    std::memset(name, 'x', sizeof name);
    extract_qname(msg.get(), size, name, sizeof name);
    size_t name_len = strnlen(name, sizeof name);
    invariants_detail::require(name_len < sizeof name);
    for (size_t i = 0; i < name_len; i++) // escaped: nothing that could break a log line
        invariants_detail::require(name[i] >= 0x20 && name[i] < 0x7F);
    (void)is_quiet_name(name);

    char tiny[4];
    extract_qname(msg.get(), size, tiny, sizeof tiny);
    invariants_detail::require(strnlen(tiny, sizeof tiny) < sizeof tiny);

    (void)message_rcode(msg.get(), size);
    (void)same_message_id(msg.get(), size, data, size);
    if (size >= dns_header_len + 5) {
        // The message against a copy of itself whose last byte differs (QCLASS when it is a
        // bare question), in both directions: never reads past either message.
        std::unique_ptr<uint8_t[]> other(new uint8_t[size]);
        std::memcpy(other.get(), data, size);
        other[size - 1] ^= 1;
        (void)reply_matches_query(msg.get(), size, msg.get(), size - 1);
        (void)reply_matches_query(msg.get(), size, other.get(), size);
        (void)reply_matches_query(other.get(), size - 1, msg.get(), size);
    }
    size_t limit = reply_size_limit(msg.get(), size);
    invariants_detail::require(limit >= dns_plain_udp_len && limit <= dns_edns_udp_max);
    (void)message_id(msg.get(), size);
    clear_tc_flag(msg.get(), size);
    {
        std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
        if (size) std::memcpy(copy.get(), data, size);
        invariants_detail::require(trim_reply(copy.get(), size, limit) <= size);
    }

    size_t trimmed = trim_reply(msg.get(), size);
    invariants_detail::require(trimmed <= size);
    if (size >= dns_header_len) {
        invariants_detail::require(msg[8] == 0 && msg[9] == 0 && msg[10] == 0 && msg[11] == 0);
        unsigned old_an = (data[6] << 8) | data[7];
        unsigned new_an = (msg[6] << 8) | msg[7];
        invariants_detail::require(new_an <= old_an);
        // Trimming never rewrites the bytes it keeps beyond the header counts.
        invariants_detail::require(
            std::memcmp(msg.get() + dns_header_len, data + dns_header_len,
                        trimmed > dns_header_len ? trimmed - dns_header_len : 0) == 0);
    }
}

} // namespace velmora
