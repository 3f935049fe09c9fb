#include "parse_network.h"

#include <cstring>

#include "mask/forms.h"
#include "text_ops.h"

namespace tarvona_diag {

namespace {

constexpr size_t wide_line = 512;
constexpr size_t resolv_line = 256;
constexpr size_t proxy_output = 256;

// Interfaces whose state is always UNKNOWN although they carry traffic.
bool is_tunnel_name(const char* name) {
    return starts_with(name, "awg") || starts_with(name, "wg") || starts_with(name, "tailscale");
}

void set_status(iface_row& row, const char* state, bool unknown_is_up) {
    if (strcmp(state, "LOWERLAYERDOWN") == 0)
        copy_text(row.status, "link down");
    else if (strcmp(state, "UNKNOWN") == 0 && unknown_is_up)
        copy_text(row.status, "UP");
    else
        copy_text(row.status, state);
}

// The table parsers' common walk: every line of text that is not blank is
// split into at most Fields fields; a line with at least min_fields of them
// fills the next row, cleared first, through fill(row, fields, count). Stops
// after max_rows rows; returns the number of rows filled.
template <int Fields, class Row>
int parse_field_lines(const char* text, Row* rows, int max_rows, int min_fields,
                      void (*fill)(Row&, const field_slot*, int)) {
    int count = 0;
    char line[wide_line];
    const char* p = text;
    while (count < max_rows && (p = next_line(p, line, sizeof line))) {
        char* t = trim(line);
        if (!*t) continue;
        field_slot f[Fields];
        int n = split_fields(t, f, Fields);
        if (n < min_fields) continue;
        Row& r = rows[count++];
        memset(&r, 0, sizeof r);
        fill(r, f, n);
    }
    return count;
}

// One line of `ip -br addr`: name, state, first address.
void fill_brief(iface_row& r, const field_slot* f, int n) {
    copy_text(r.name, f[0]);
    set_status(r, f[1], is_tunnel_name(r.name));
    if (n >= 3) {
        if (!strchr(f[2], '<'))
            copy_text(r.ip, f[2]);
        else if (n >= 4)
            copy_text(r.ip, f[3]);
    }
}

// One line of `ip -br link`: name, state, MAC address.
void fill_link(iface_row& r, const field_slot* f, int n) {
    copy_text(r.name, f[0]);
    set_status(r, f[1], n >= 3 && strstr(f[2], "UP"));
    if (n >= 3 && is_mac_address(f[2])) copy_text(r.mac, f[2]);
}

// One line of `ip route`: destination, then keyword-value pairs.
void fill_route(route_row& r, const field_slot* f, int n) {
    copy_text(r.destination, f[0]);
    // A keyword in the last place has no value.
    for (int i = 1; i + 1 < n; ++i) {
        if (strcmp(f[i], "via") == 0)
            copy_text(r.gateway, f[i + 1]);
        else if (strcmp(f[i], "dev") == 0)
            copy_text(r.device, f[i + 1]);
        else if (strcmp(f[i], "metric") == 0)
            copy_text(r.metric, f[i + 1]);
    }
}

} // namespace

int parse_ip_brief(const char* text, iface_row* rows, int max_rows) {
    return parse_field_lines<8>(text, rows, max_rows, 2, fill_brief);
}

int parse_ip_link(const char* text, iface_row* rows, int max_rows) {
    return parse_field_lines<8>(text, rows, max_rows, 2, fill_link);
}

int parse_routes(const char* text, route_row* rows, int max_rows) {
    return parse_field_lines<16>(text, rows, max_rows, 1, fill_route);
}

int parse_resolv_conf(const char* text, char (*dns)[64], int max_entries) {
    int count = 0;
    char line[resolv_line];
    const char* p = text;
    while (count < max_entries && (p = next_line(p, line, sizeof line))) {
        if (!starts_with(line, "nameserver")) continue;
        field_slot f[4];
        if (split_fields(line, f, 4) < 2) continue;
        copy_text(dns[count++], 64, f[1]);
    }
    return count;
}

int parse_net_dev(const char* text, traffic_row* rows, int max_rows) {
    int count = 0;
    char line[wide_line];
    const char* p = next_line(text, line, sizeof line);
    if (p) p = next_line(p, line, sizeof line);
    while (p && count < max_rows && (p = next_line(p, line, sizeof line))) {
        char* colon = strchr(line, ':');
        if (!colon) continue;
        *colon = '\0';
        traffic_row& r = rows[count++];
        memset(&r, 0, sizeof r);
        copy_text(r.interface, trim(line));
        field_slot f[16];
        int n = split_fields(colon + 1, f, 16);
        if (n > 9) {
            r.rx_bytes = leading_int64(f[0]);
            r.rx_packets = leading_int64(f[1]);
            r.tx_bytes = leading_int64(f[8]);
            r.tx_packets = leading_int64(f[9]);
        }
    }
    return count;
}

void parse_ping_output(const char* text, ping_result& r) {
    const char* t = text ? strstr(text, "time=") : nullptr;
    if (t) {
        r.success = 1;
        r.latency_ms = leading_double(t + 5);
    } else {
        r.success = 0;
        r.latency_ms = 0;
    }
}

void parse_proxy_output(const char* text, proxy_check_result& pc) {
    char out[proxy_output];
    copy_text(out, text ? text : "");
    char* t = trim(out);
    int64_t code = leading_int64(t);
    pc.http_code = code > 0 && code < 1000 ? static_cast<int32_t>(code) : 0;
    pc.success = pc.http_code >= 200 && pc.http_code <= 399;
    if (pc.success)
        pc.error[0] = '\0';
    else
        copy_text(pc.error, t);
}

} // namespace tarvona_diag
