#include "dns_packet.h"

#include <cstring>

namespace velmora {

namespace {

constexpr uint8_t tc_mask = 0x02;
constexpr uint8_t pointer_mask = 0xC0;
constexpr size_t ancount_at = 6;
constexpr size_t nscount_at = 8;
constexpr size_t arcount_at = 10;
constexpr size_t max_dotted_name = qname_cap - 1;

uint16_t read_u16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

void write_u16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v & 0xFF);
}

// Offset just past the name starting at off: after its zero byte, or after the two bytes of a
// compression pointer. The result may lie beyond len when the name runs off the end; callers
// compare it with len before reading there.
size_t skip_name(const uint8_t* msg, size_t len, size_t off) {
    while (off < len) {
        uint8_t l = msg[off];
        if (l == 0) return off + 1;
        if ((l & pointer_mask) == pointer_mask) return off + 2;
        off += 1 + static_cast<size_t>(l);
    }
    return off;
}

// End of the question (name, QTYPE, QCLASS) at offset 12, or 0 when the name is not a plain
// run of labels or the question does not lie wholly inside the message.
size_t plain_question_end(const uint8_t* msg, size_t len) {
    size_t off = dns_header_len;
    while (off < len) {
        uint8_t l = msg[off];
        if (l == 0) return off + 5 <= len ? off + 5 : 0;
        if (l & pointer_mask) return 0;
        off += 1 + static_cast<size_t>(l);
    }
    return 0;
}

uint8_t fold_case(uint8_t c) {
    return c >= 'A' && c <= 'Z' ? static_cast<uint8_t>(c + 32) : c;
}

constexpr uint16_t type_opt = 41;
constexpr size_t qdcount_at = 4;
constexpr size_t record_fixed_len = 10; // TYPE, CLASS, TTL, RDLENGTH

// Characters one label byte takes in a log line.
size_t escaped_len(uint8_t b) {
    if (b < 0x20 || b >= 0x7F) return 4; // \DDD
    return b == '\\' ? 2 : 1;
}

char* write_escaped(char* out, uint8_t b) {
    if (b < 0x20 || b >= 0x7F) {
        *out++ = '\\';
        *out++ = static_cast<char>('0' + b / 100);
        *out++ = static_cast<char>('0' + b / 10 % 10);
        *out++ = static_cast<char>('0' + b % 10);
    } else {
        if (b == '\\') *out++ = '\\';
        *out++ = static_cast<char>(b);
    }
    return out;
}

} // namespace

int message_rcode(const uint8_t* msg, size_t len) {
    if (len < 4) return -1;
    return msg[3] & 0x0F;
}

void clear_tc_flag(uint8_t* msg, size_t len) {
    if (len >= 3) msg[2] = static_cast<uint8_t>(msg[2] & ~tc_mask);
}

uint16_t message_id(const uint8_t* msg, size_t len) {
    return len < 2 ? 0 : read_u16(msg);
}

void set_message_id(uint8_t* msg, size_t len, uint16_t id) {
    if (len >= 2) write_u16(msg, id);
}

uint16_t edns_udp_size(const uint8_t* query, size_t len) {
    if (len < dns_header_len) return 0;
    size_t off = dns_header_len;
    for (unsigned i = read_u16(query + qdcount_at); i > 0; i--) {
        off = skip_name(query, len, off) + 4;
        if (off > len) return 0;
    }
    // Answer and authority records (a query normally has none) come before the additional ones.
    const unsigned before = read_u16(query + ancount_at) + read_u16(query + nscount_at);
    const unsigned total = before + read_u16(query + arcount_at);
    for (unsigned i = 0; i < total; i++) {
        size_t name_end = skip_name(query, len, off);
        if (name_end + record_fixed_len > len) return 0;
        if (i >= before && read_u16(query + name_end) == type_opt)
            return read_u16(query + name_end + 2);
        off = name_end + record_fixed_len + read_u16(query + name_end + 8);
    }
    return 0;
}

size_t reply_size_limit(const uint8_t* query, size_t len) {
    size_t announced = edns_udp_size(query, len);
    if (announced <= dns_plain_udp_len) return dns_plain_udp_len;
    return announced < dns_edns_udp_max ? announced : dns_edns_udp_max;
}

bool same_message_id(const uint8_t* query, size_t query_len, const uint8_t* reply,
                     size_t reply_len) {
    if (query_len < 2 || reply_len < 2) return true;
    return query[0] == reply[0] && query[1] == reply[1];
}

bool reply_matches_query(const uint8_t* query, size_t query_len, const uint8_t* reply,
                         size_t reply_len) {
    if (!same_message_id(query, query_len, reply, reply_len)) return false;
    if (reply_len <= dns_header_len || read_u16(reply + 4) == 0) return true;
    size_t end = plain_question_end(query, query_len);
    if (end == 0) return true; // nothing to compare the reply's question with
    if (reply_len < end) return false;
    size_t off = dns_header_len;
    while (query[off] != 0) { // label lengths and bytes; the walk above bounds it
        size_t l = query[off];
        if (reply[off] != l) return false;
        for (size_t i = 1; i <= l; i++)
            if (fold_case(query[off + i]) != fold_case(reply[off + i])) return false;
        off += 1 + l;
    }
    return std::memcmp(query + off, reply + off, 5) == 0; // the zero byte, QTYPE, QCLASS
}

void extract_qname(const uint8_t* msg, size_t len, char* out, size_t cap) {
    if (cap == 0) return;
    size_t limit = cap - 1 < max_dotted_name ? cap - 1 : max_dotted_name;
    size_t n = 0;
    size_t off = dns_header_len;
    while (off < len) {
        size_t l = msg[off];
        if (l == 0 || n >= limit) break;
        if (off + 1 + l > len) break;
        const uint8_t* label = msg + off + 1;
        size_t need = n > 0 ? 1 : 0;
        for (size_t i = 0; i < l; i++)
            need += escaped_len(label[i]);
        if (n + need > limit) break;
        char* p = out + n;
        if (n > 0) *p++ = '.';
        for (size_t i = 0; i < l; i++)
            p = write_escaped(p, label[i]);
        n += need;
        off += 1 + l;
    }
    out[n] = '\0';
}

size_t trim_reply(uint8_t* reply, size_t len, size_t limit) {
    if (len < dns_header_len) return len;
    write_u16(reply + arcount_at, 0);
    size_t question_end = skip_name(reply, len, dns_header_len) + 4;
    uint16_t ancount = read_u16(reply + ancount_at);

    size_t end = question_end;
    uint16_t kept = 0;
    size_t off = question_end;
    for (uint16_t i = 0; i < ancount; i++) {
        if (off >= len) break;
        size_t name_end = skip_name(reply, len, off);
        if (name_end + 9 >= len) break; // TYPE, CLASS, TTL and RDLENGTH not all inside
        size_t rdlength = read_u16(reply + name_end + 8);
        size_t record_end = name_end + 10 + rdlength;
        if (record_end > limit || record_end > len) break;
        kept++;
        end = record_end;
        off = record_end;
    }
    write_u16(reply + ancount_at, kept);
    write_u16(reply + nscount_at, 0);
    // A question that runs past the end (a malformed reply) must not grow the datagram.
    return end < len ? end : len;
}

bool is_quiet_name(const char* domain) {
    return std::strstr(domain, ".local") != nullptr || std::strstr(domain, ".arpa") != nullptr ||
           std::strstr(domain, ".lan") != nullptr;
}

} // namespace velmora
