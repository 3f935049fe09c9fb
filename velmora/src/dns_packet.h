// Pure DNS message helpers used by the forwarder. Every function takes the
// message bytes and their length and never reads outside them, whatever the
// bytes say: they come straight off the network.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora {

constexpr size_t dns_header_len = 12;
constexpr size_t dns_message_cap = 4096;  // datagrams both ways
constexpr size_t dns_plain_udp_len = 512; // good answers are cut to this, unless the query says
constexpr size_t dns_edns_udp_max = 4096; // ... that it takes more (an EDNS OPT record), up to this
constexpr size_t qname_cap = 256;         // dotted name for log lines, NUL included

constexpr int rcode_noerror = 0;
constexpr int rcode_servfail = 2;
constexpr int rcode_refused = 5;

/// Response code (low four bits of byte 3); -1 when the message has fewer than 4 bytes.
int message_rcode(const uint8_t* msg, size_t len);

/// Clears the TC flag (byte 2, mask 0x02); no-op on a message shorter than 3 bytes.
void clear_tc_flag(uint8_t* msg, size_t len);

/// The 16-bit message ID (bytes 0-1); 0 when the message is shorter than 2 bytes.
uint16_t message_id(const uint8_t* msg, size_t len);

/// Writes the message ID; no-op on a message shorter than 2 bytes.
void set_message_id(uint8_t* msg, size_t len, uint16_t id);

/// The UDP payload size a query announces in its EDNS OPT record (the CLASS field of the first
/// additional record of type 41), or 0 when it carries none or its records cannot be walked.
uint16_t edns_udp_size(const uint8_t* query, size_t len);

/// How long a good answer to this query may be: the announced EDNS size when it is above 512,
/// at most 4096; 512 otherwise.
size_t reply_size_limit(const uint8_t* query, size_t len);

/// True when both messages carry the same 16-bit ID, or when either is too short to carry one.
bool same_message_id(const uint8_t* query, size_t query_len, const uint8_t* reply,
                     size_t reply_len);

/// True when reply answers query: the same ID (as same_message_id) and, when the reply carries a
/// question (QDCOUNT above 0), the query's question: the name compared label by label without
/// regard to letter case, then QTYPE and QCLASS exactly. A query whose question cannot be read is
/// matched by its ID alone; a reply whose question is cut short does not match.
bool reply_matches_query(const uint8_t* query, size_t query_len, const uint8_t* reply,
                         size_t reply_len);

/// Writes the question name at offset 12 in dotted form into out (capacity cap >= 1, always
/// NUL-terminated), for log lines. A byte outside printable ASCII (a line feed, an escape
/// character, ...) is written as \DDD (its decimal value) and a backslash as \\, so a name can
/// neither break a log line nor carry terminal controls. Compression pointers are not followed,
/// and the name is cut after the last whole (escaped) label that fits in cap - 1 characters.
void extract_qname(const uint8_t* msg, size_t len, char* out, size_t cap);

/// Cuts a good reply down to the answer records that end within its first limit bytes: ARCOUNT
/// and NSCOUNT become 0 and ANCOUNT the number kept. Returns the new length, never more than len;
/// a message shorter than the header is returned unchanged.
size_t trim_reply(uint8_t* reply, size_t len, size_t limit = dns_plain_udp_len);

/// A quiet request (local, reverse-lookup or LAN names) gets no reply or time-out log lines.
bool is_quiet_name(const char* domain);

} // namespace velmora
