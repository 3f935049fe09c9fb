#include "render_json.h"

#include <json-c/json.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "handles.h"

namespace tarvona_diag {

namespace {

constexpr size_t document_limit = output_capacity - 1;
// Appended to a text that was shortened so that the document fits.
constexpr const char cut_marker[] = "\n[... обрезано ...]";

// Length of the longest prefix of s (at most len bytes) that does not end
// inside a UTF-8 sequence.
size_t utf8_cut(const char* s, size_t len) {
    while (len > 0 && (static_cast<unsigned char>(s[len]) & 0xC0) == 0x80)
        --len;
    return len;
}

// Byte length of a well-formed UTF-8 sequence at s (n bytes left), 0 when
// malformed (truncated, overlong, surrogate or beyond U+10FFFF).
size_t utf8_sequence(const unsigned char* s, size_t n) {
    unsigned char c = s[0];
    if (c < 0x80) return 1;
    size_t len;
    unsigned lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF)
        len = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (n < len) return 0;
    if (s[1] < lo || s[1] > hi) return 0;
    for (size_t i = 2; i < len; ++i)
        if ((s[i] & 0xC0) != 0x80) return 0;
    return len;
}

// A text emitted into the document that may be shortened.
struct long_text {
    const void* id; // the record field it comes from
    size_t length;  // bytes emitted (before any cut)
};

// Builds the document for one attempt. Texts listed in `cuts` are emitted
// shortened to their limit, with the marker.
class builder {
  public:
    builder(const diag_report& r, const std::vector<long_text>& cuts) : r_(r), cuts_(cuts) {}

    json_object* build();
    const std::vector<long_text>& emitted() const { return emitted_; }

  private:
    // A string value from text (len bytes), identified by the record field
    // id for shortening. Bytes that are not UTF-8 become '?' so the
    // document stays valid.
    json_object* text(const void* id, const char* s, size_t len);
    json_object* text(const char* field) { return text(field, field, strlen(field)); }
    void add(json_object* obj, const char* key, json_object* value) {
        json_object_object_add(obj, key, value);
    }
    void add_text(json_object* obj, const char* key, const char* field) {
        add(obj, key, text(field));
    }

    json_object* system_object();
    json_object* network_object();
    json_object* services_array();
    json_object* overlap_object();
    json_object* section_object(const list_section& s);
    json_object* iface_array(const iface_row* rows, int count, bool links);
    json_object* route_array(const route_row* rows, int count, bool metric);

    const diag_report& r_;
    const std::vector<long_text>& cuts_;
    std::vector<long_text> emitted_;
};

json_object* builder::text(const void* id, const char* s, size_t len) {
    // Only texts that can be long compete for shortening.
    if (len > 256) emitted_.push_back({id, len});
    bool cut = false;
    for (const long_text& c : cuts_) {
        if (c.id == id && c.length < len) {
            len = utf8_cut(s, c.length);
            cut = true;
        }
    }
    const auto* u = reinterpret_cast<const unsigned char*>(s);
    size_t i = 0;
    while (i < len) {
        size_t n = utf8_sequence(u + i, len - i);
        if (n == 0) break;
        i += n;
    }
    if (i == len && !cut) return json_object_new_string_len(s, static_cast<int>(len));

    std::string clean;
    clean.reserve(len + sizeof cut_marker);
    for (i = 0; i < len;) {
        size_t n = utf8_sequence(u + i, len - i);
        if (n == 0) {
            clean.push_back('?');
            ++i;
        } else {
            clean.append(s + i, n);
            i += n;
        }
    }
    if (cut) clean.append(cut_marker);
    return json_object_new_string_len(clean.data(), static_cast<int>(clean.size()));
}

json_object* builder::build() {
    const test_flags& f = r_.flags;
    json_object* root = json_object_new_object();
    add_text(root, "timestamp", r_.timestamp);
    add_text(root, "hostname", r_.hostname);
    add(root, "system", system_object());
    if (any_network_test(f)) add(root, "network", network_object());
    if (any_service_test(f)) {
        add(root, "services", services_array());
        const overlap_analysis& ov = r_.overlap;
        if (f.svc_overlap &&
            (ov.podkop_section_count > 0 || ov.brimvale_section_count > 0 || ov.nslookup_count > 0))
            add(root, "overlap", overlap_object());
        if (f.svc_log && r_.log[0]) add_text(root, "log", r_.log);
    }
    return root;
}

json_object* builder::system_object() {
    const test_flags& f = r_.flags;
    const system_facts& s = r_.system;
    json_object* o = json_object_new_object();
    if (f.sys_version) {
        json_object* v = json_object_new_object();
        add_text(v, "distrib_id", s.distrib_id);
        add_text(v, "release", s.release);
        add_text(v, "revision", s.revision);
        add_text(v, "target", s.target);
        add_text(v, "arch", s.arch);
        add_text(v, "description", s.description);
        add(o, "version", v);
    }
    if (f.sys_kernel) add_text(o, "kernel", s.kernel);
    if (f.sys_uptime) add_text(o, "uptime", s.uptime);
    if (f.sys_cpu) {
        json_object* load = json_object_new_array();
        for (double l : s.load)
            json_object_array_add(load, json_object_new_double(l));
        add(o, "load", load);
    }
    if (f.sys_memory) {
        json_object* m = json_object_new_object();
        add_text(m, "total", s.total);
        add_text(m, "used", s.used);
        add_text(m, "free", s.free);
        add_text(m, "shared", s.shared);
        add_text(m, "buffers", s.buffers);
        add_text(m, "available", s.available);
        add(o, "memory", m);
    }
    if (f.sys_disk) {
        json_object* disks = json_object_new_array();
        for (int i = 0; i < s.disk_count && i < max_disk_rows; ++i) {
            const disk_row& d = s.disk[i];
            json_object* row = json_object_new_object();
            add_text(row, "filesystem", d.filesystem);
            add_text(row, "size", d.size);
            add_text(row, "used", d.used);
            add_text(row, "available", d.available);
            add_text(row, "percent", d.percent);
            add_text(row, "mount", d.mount);
            json_object_array_add(disks, row);
        }
        add(o, "disk", disks);
    }
    if (f.sys_time) add_text(o, "time", s.time);
    return o;
}

// IPv4 rows carry a metric; IPv6 rows do not.
json_object* builder::route_array(const route_row* rows, int count, bool metric) {
    json_object* a = json_object_new_array();
    for (int i = 0; i < count; ++i) {
        json_object* row = json_object_new_object();
        add_text(row, "destination", rows[i].destination);
        add_text(row, "gateway", rows[i].gateway);
        add_text(row, "device", rows[i].device);
        if (metric) add_text(row, "metric", rows[i].metric);
        json_object_array_add(a, row);
    }
    return a;
}

json_object* builder::iface_array(const iface_row* rows, int count, bool links) {
    json_object* a = json_object_new_array();
    for (int i = 0; i < count; ++i) {
        const iface_row& row = rows[i];
        json_object* o = json_object_new_object();
        add_text(o, "name", row.name);
        add_text(o, "status", row.status);
        if (links)
            add_text(o, "mac", row.mac);
        else
            add_text(o, "ip", row.ip);
        json_object_array_add(a, o);
    }
    return a;
}

json_object* builder::network_object() {
    const test_flags& f = r_.flags;
    const network_facts& n = r_.network;
    json_object* o = json_object_new_object();
    if (f.net_interfaces)
        add(o, "interfaces",
            iface_array(n.interfaces, std::min(n.interface_count, max_interfaces), false));
    if (f.net_links) add(o, "links", iface_array(n.links, std::min(n.link_count, max_links), true));
    if (f.net_routes)
        add(o, "routes", route_array(n.routes, std::min(n.route_count, max_routes), true));
    if (f.net_routes6)
        add(o, "routes6", route_array(n.routes6, std::min(n.route6_count, max_routes), false));
    if (f.net_arp) add_text(o, "arp", n.arp);
    if (f.net_dns) {
        json_object* a = json_object_new_array();
        for (int i = 0; i < n.dns_count && i < max_dns; ++i)
            json_object_array_add(a, text(n.dns[i]));
        add(o, "dns", a);
    }
    if (f.net_conntrack) {
        json_object* c = json_object_new_object();
        add(c, "current", json_object_new_int64(n.current));
        add(c, "max", json_object_new_int64(n.max));
        add(o, "conntrack", c);
    }
    if (f.net_traffic) {
        json_object* a = json_object_new_array();
        for (int i = 0; i < n.traffic_count && i < max_traffic_rows; ++i) {
            const traffic_row& t = n.traffic[i];
            json_object* row = json_object_new_object();
            add_text(row, "interface", t.interface);
            add(row, "rx_bytes", json_object_new_int64(t.rx_bytes));
            add(row, "rx_packets", json_object_new_int64(t.rx_packets));
            add(row, "tx_bytes", json_object_new_int64(t.tx_bytes));
            add(row, "tx_packets", json_object_new_int64(t.tx_packets));
            json_object_array_add(a, row);
        }
        add(o, "traffic", a);
    }
    if (f.net_ping) {
        json_object* ping = json_object_new_object();
        for (int g = 0; g < n.ping_group_count && g < max_ping_groups; ++g) {
            const ping_group& grp = n.ping[g];
            json_object* targets = json_object_new_object();
            for (int i = 0; i < grp.result_count && i < max_ping_results; ++i) {
                const ping_result& res = grp.results[i];
                json_object* one = json_object_new_object();
                add(one, "success", json_object_new_boolean(res.success));
                add(one, "latency_ms", json_object_new_double(res.latency_ms));
                add(targets, res.target, one);
            }
            add(ping, grp.interface, targets);
        }
        add(o, "ping", ping);
        const proxy_check_result& pc = r_.proxy_check;
        if (pc.attempted) {
            json_object* c = json_object_new_object();
            add(c, "success", json_object_new_boolean(pc.success));
            add(c, "http_code", json_object_new_int(pc.http_code));
            if (pc.error[0]) add_text(c, "error", pc.error);
            add(o, "proxy_check", c);
        }
    }
    if (f.net_wifi) {
        add_text(o, "wifi", n.wifi);
        if (n.wifi_config[0]) add_text(o, "wifi_config", n.wifi_config);
        if (n.wifi_rx_queues[0]) add_text(o, "wifi_rx_queues", n.wifi_rx_queues);
        if (n.wifi_hw_queues[0]) add_text(o, "wifi_hw_queues", n.wifi_hw_queues);
        if (n.wifi_dmesg[0]) add_text(o, "wifi_dmesg", n.wifi_dmesg);
    }
    if (f.net_nftables) add_text(o, "nftables", n.nftables);
    return o;
}

json_object* builder::services_array() {
    json_object* a = json_object_new_array();
    for (int i = 0; i < r_.service_count && i < max_services; ++i) {
        const service_entry& e = r_.services[i];
        json_object* o = json_object_new_object();
        add_text(o, "name", e.name);
        if (e.hidden) {
            add(o, "hidden", json_object_new_boolean(1));
        } else {
            add(o, "running", json_object_new_boolean(e.running));
            add(o, "pid", json_object_new_int(e.pid));
            add(o, "enabled", json_object_new_boolean(e.enabled));
        }
        if (e.config[0]) add_text(o, "config", e.config);
        json_object_array_add(a, o);
    }
    return a;
}

json_object* builder::section_object(const list_section& s) {
    json_object* o = json_object_new_object();
    add_text(o, "name", s.name);
    add_text(o, "type", s.type);
    if (s.interface[0]) add_text(o, "interface", s.interface);
    json_object* lists = json_object_new_array();
    for (int i = 0; i < s.list_count && i < max_section_lists; ++i)
        json_object_array_add(lists, text(s.lists[i]));
    add(o, "lists", lists);
    return o;
}

json_object* builder::overlap_object() {
    const overlap_analysis& ov = r_.overlap;
    json_object* o = json_object_new_object();
    if (ov.podkop_section_count > 0) {
        json_object* a = json_object_new_array();
        for (int i = 0; i < ov.podkop_section_count && i < max_list_sections; ++i)
            json_object_array_add(a, section_object(ov.podkop_sections[i]));
        add(o, "podkop_sections", a);
    }
    if (ov.brimvale_section_count > 0) {
        json_object* a = json_object_new_array();
        for (int i = 0; i < ov.brimvale_section_count && i < max_list_sections; ++i)
            json_object_array_add(a, section_object(ov.brimvale_sections[i]));
        add(o, "brimvale_sections", a);
    }
    json_object* conflicts = json_object_new_array();
    for (int i = 0; i < ov.conflict_count && i < max_conflicts; ++i) {
        const conflict_entry& c = ov.conflicts[i];
        if (!c.zapret && !c.zapret2 && !c.youtubeUnblock) continue;
        json_object* e = json_object_new_object();
        add_text(e, "list", c.list);
        add_text(e, "section", c.section);
        add_text(e, "service", c.service);
        json_object* with = json_object_new_array();
        if (c.zapret)
            json_object_array_add(
                with,
                json_object_new_string(c.zapret == coverage_all_traffic ? "zapret (*)" : "zapret"));
        if (c.zapret2)
            json_object_array_add(with, json_object_new_string(c.zapret2 == coverage_all_traffic
                                                                   ? "zapret2 (*)"
                                                                   : "zapret2"));
        if (c.youtubeUnblock) json_object_array_add(with, json_object_new_string("youtubeUnblock"));
        add(e, "conflicts_with", with);
        json_object_array_add(conflicts, e);
    }
    add(o, "conflicts", conflicts);
    if (ov.nslookup_count > 0) {
        json_object* a = json_object_new_array();
        for (int i = 0; i < ov.nslookup_count && i < max_nslookups; ++i) {
            json_object* e = json_object_new_object();
            add_text(e, "domain", ov.nslookup[i].domain);
            add_text(e, "ip", ov.nslookup[i].ip);
            json_object_array_add(a, e);
        }
        add(o, "nslookup", a);
    }
    return o;
}

// Picks the text to shorten next: the log while it has text left, then the
// longest text that still has some. Returns false when none is left.
bool next_cut(const diag_report& r, const std::vector<long_text>& emitted,
              std::vector<long_text>& cuts, size_t excess) {
    auto current = [&](const long_text& t) {
        for (const long_text& c : cuts)
            if (c.id == t.id && c.length < t.length) return c.length;
        return t.length;
    };
    const long_text* pick = nullptr;
    for (const long_text& t : emitted) {
        if (current(t) == 0) continue;
        if (t.id == r.log) {
            pick = &t;
            break;
        }
        if (!pick || current(t) > current(*pick)) pick = &t;
    }
    if (!pick) return false;
    // Every byte cut saves at least one byte of the document; the marker
    // costs at most twice its length once escaped.
    size_t drop = excess + 2 * sizeof cut_marker;
    size_t now = current(*pick);
    size_t keep = now > drop ? now - drop : 0;
    for (long_text& c : cuts)
        if (c.id == pick->id) {
            c.length = keep;
            return true;
        }
    cuts.push_back({pick->id, keep});
    return true;
}

} // namespace

size_t render_json(const diag_report& r) {
    std::vector<long_text> cuts;
    std::string document;
    for (int attempt = 0; attempt < 64; ++attempt) {
        auto b = std::make_unique<builder>(r, cuts);
        json_root root(b->build());
        const char* s = json_object_to_json_string_ext(root.get(), JSON_C_TO_STRING_PLAIN);
        size_t len = s ? strlen(s) : 0;
        if (len <= document_limit) {
            document.assign(s ? s : "", len);
            break;
        }
        if (!next_cut(r, b->emitted(), cuts, len - document_limit)) {
            document.assign(s, document_limit); // cannot happen with the record's capacities
            break;
        }
    }
    out_reset();
    copy_text(output_buffer, document.c_str()); // at most document_limit bytes
    out_sync();
    return document.size();
}

} // namespace tarvona_diag
