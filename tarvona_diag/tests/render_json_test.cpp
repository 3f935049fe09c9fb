#include <gtest/gtest.h>

#include <json-c/json.h>

#include <cstring>
#include <string>
#include <vector>

#include "render_json.h"

namespace tarvona_diag {
namespace {

// The record is several hundred kilobytes: static, cleared per test.
diag_report& fresh_report() {
    static diag_report r;
    memset(&r, 0, sizeof r);
    copy_text(r.timestamp, "2026-12-09 23:00:00");
    copy_text(r.hostname, "router");
    r.flags.sys_version = r.flags.sys_kernel = r.flags.sys_uptime = r.flags.sys_time = 1;
    return r;
}

struct parsed {
    json_object* root = nullptr;
    explicit parsed(const char* text) : root(json_tokener_parse(text)) {}
    ~parsed() { json_object_put(root); }
    json_object* at(std::initializer_list<const char*> path) const {
        json_object* o = root;
        for (const char* k : path)
            if (!o || !json_object_object_get_ex(o, k, &o)) return nullptr;
        return o;
    }
};

std::vector<std::string> keys(json_object* o) {
    std::vector<std::string> k;
    if (!o) return k;
    json_object_object_foreach(o, key, val) {
        (void)val;
        k.emplace_back(key);
    }
    return k;
}

std::string render(const diag_report& r) {
    size_t n = render_json(r);
    EXPECT_EQ(n, strlen(output_buffer));
    EXPECT_EQ(n, out_position());
    return std::string(output_buffer, n);
}

using strings = std::vector<std::string>;

TEST(tarvona_diag_json_render, SystemTestsOnlyGiveThreeRootKeys) {
    diag_report& r = fresh_report();
    copy_text(r.system.kernel, "6.6.30");
    parsed doc(render(r).c_str());
    ASSERT_NE(nullptr, doc.root);
    EXPECT_EQ((strings{"timestamp", "hostname", "system"}), keys(doc.root));
    EXPECT_EQ((strings{"version", "kernel", "uptime", "time"}), keys(doc.at({"system"})));
    EXPECT_EQ((strings{"distrib_id", "release", "revision", "target", "arch", "description"}),
              keys(doc.at({"system", "version"})));
}

TEST(tarvona_diag_json_render, ServiceObjectsFollowHiddenAndConfig) {
    diag_report& r = fresh_report();
    r.flags.svc_podkop = r.flags.svc_cron = 1;
    service_entry& cron = r.services[0];
    copy_text(cron.name, "crond");
    cron.running = 1;
    cron.pid = 0;
    service_entry& podkop = r.services[1];
    copy_text(podkop.name, "podkop");
    podkop.hidden = 1;
    copy_text(podkop.config, "config main 'main'\n\toption path '/etc/podkop'\n");
    r.service_count = 2;

    std::string out = render(r);
    parsed doc(out.c_str());
    json_object* services = doc.at({"services"});
    ASSERT_EQ(2u, json_object_array_length(services));
    EXPECT_EQ((strings{"name", "running", "pid", "enabled"}),
              keys(json_object_array_get_idx(services, 0)));
    EXPECT_EQ((strings{"name", "hidden", "config"}), keys(json_object_array_get_idx(services, 1)));
    // plain json-c style: no blanks, every slash escaped
    EXPECT_NE(std::string::npos, out.find(R"("running":true,"pid":0,"enabled":false)"));
    EXPECT_NE(std::string::npos, out.find(R"(option path '\/etc\/podkop')"));
    EXPECT_EQ(nullptr, doc.at({"overlap"}));
    EXPECT_EQ(nullptr, doc.at({"log"}));
}

TEST(tarvona_diag_json_render, ServiceTestWithoutServicesGivesEmptyArray) {
    diag_report& r = fresh_report();
    r.flags.svc_stubby = 1;
    parsed doc(render(r).c_str());
    ASSERT_NE(nullptr, doc.at({"services"}));
    EXPECT_EQ(0u, json_object_array_length(doc.at({"services"})));
}

// The record comes masked (report_clean): the renderer shows it as it stands.
TEST(tarvona_diag_json_render, NetworkAsStoredAndPresence) {
    diag_report& r = fresh_report();
    test_flags& f = r.flags;
    f.net_interfaces = f.net_links = f.net_wifi = f.net_ping = f.net_arp = 1;
    network_facts& n = r.network;
    const char* ifaces[][2] = {{"pppoe-wan", "203.0.x.x/32"}, {"br-lan", "192.168.1.1/24"}};
    for (auto& i : ifaces) {
        copy_text(n.interfaces[n.interface_count].name, i[0]);
        copy_text(n.interfaces[n.interface_count++].ip, i[1]);
    }
    copy_text(n.links[0].name, "eth1");
    copy_text(n.links[0].mac, "AA:BB:CC:xx:xx:xx");
    n.link_count = 1;
    copy_text(n.arp, "192.168.1.20 dev br-lan lladdr 11:22:33:xx:xx:xx REACHABLE");
    r.proxy_check.attempted = 1; // failed without output

    std::string out = render(r);
    parsed doc(out.c_str());
    ASSERT_NE(nullptr, doc.root) << out;
    json_object* ifs = doc.at({"network", "interfaces"});
    ASSERT_EQ(2u, json_object_array_length(ifs));
    EXPECT_STREQ("203.0.x.x/32", json_object_get_string(json_object_object_get(
                                     json_object_array_get_idx(ifs, 0), "ip")));
    EXPECT_STREQ("192.168.1.1/24", json_object_get_string(json_object_object_get(
                                       json_object_array_get_idx(ifs, 1), "ip")));
    EXPECT_STREQ("AA:BB:CC:xx:xx:xx",
                 json_object_get_string(json_object_object_get(
                     json_object_array_get_idx(doc.at({"network", "links"}), 0), "mac")));
    EXPECT_EQ((strings{"interfaces", "links", "arp", "ping", "proxy_check", "wifi"}),
              keys(doc.at({"network"})));
    EXPECT_EQ((strings{"success", "http_code"}), keys(doc.at({"network", "proxy_check"})));
    EXPECT_STREQ("", json_object_get_string(doc.at({"network", "wifi"})));
}

TEST(tarvona_diag_json_render, RouteRowsCarryAMetricOnlyForIpv4) {
    diag_report& r = fresh_report();
    r.flags.net_routes = r.flags.net_routes6 = 1;
    copy_text(r.network.routes[0].destination, "default");
    copy_text(r.network.routes[0].metric, "10");
    r.network.route_count = 1;
    copy_text(r.network.routes6[0].destination, "::/0");
    r.network.route6_count = 1;
    parsed doc(render(r).c_str());
    ASSERT_NE(nullptr, doc.root);
    json_object* v4 = json_object_array_get_idx(doc.at({"network", "routes"}), 0);
    json_object* v6 = json_object_array_get_idx(doc.at({"network", "routes6"}), 0);
    EXPECT_EQ((strings{"destination", "gateway", "device", "metric"}), keys(v4));
    EXPECT_EQ((strings{"destination", "gateway", "device"}), keys(v6));
}

TEST(tarvona_diag_json_render, OverlapConflictsAndPresence) {
    diag_report& r = fresh_report();
    r.flags.svc_overlap = 1;
    // neither sections nor lookups: no overlap object
    EXPECT_EQ(nullptr, parsed(render(r).c_str()).at({"overlap"}));

    overlap_analysis& ov = r.overlap;
    list_section& s = ov.podkop_sections[0];
    copy_text(s.name, "main");
    copy_text(s.lists[0], "youtube");
    s.list_count = 1;
    ov.podkop_section_count = 1;
    {
        parsed doc(render(r).c_str());
        EXPECT_EQ((strings{"podkop_sections", "conflicts"}), keys(doc.at({"overlap"})));
        EXPECT_EQ(0u, json_object_array_length(doc.at({"overlap", "conflicts"})));
        EXPECT_EQ((strings{"name", "type", "lists"}),
                  keys(json_object_array_get_idx(doc.at({"overlap", "podkop_sections"}), 0)));
    }

    conflict_entry& c = ov.conflicts[0];
    copy_text(c.list, "youtube");
    copy_text(c.section, "main");
    copy_text(c.service, "podkop");
    c.zapret = coverage_all_traffic;
    c.youtubeUnblock = coverage_by_name;
    ov.conflicts[1] = conflict_entry{}; // all codes 0: not shown
    copy_text(ov.conflicts[1].list, "news");
    ov.conflict_count = 2;
    parsed doc(render(r).c_str());
    json_object* conflicts = doc.at({"overlap", "conflicts"});
    ASSERT_EQ(1u, json_object_array_length(conflicts));
    json_object* with =
        json_object_object_get(json_object_array_get_idx(conflicts, 0), "conflicts_with");
    ASSERT_EQ(2u, json_object_array_length(with));
    EXPECT_STREQ("zapret (*)", json_object_get_string(json_object_array_get_idx(with, 0)));
    EXPECT_STREQ("youtubeUnblock", json_object_get_string(json_object_array_get_idx(with, 1)));
}

// Fills a text field with n bytes of a pattern heavy in characters that
// json-c escapes (quotes, tabs, slashes, newlines).
void fill_escaped(char* field, size_t n) {
    static const char pattern[] = "\toption path '/etc/x\"y'\n";
    for (size_t i = 0; i < n; ++i)
        field[i] = pattern[i % (sizeof pattern - 1)];
    field[n] = '\0';
}

TEST(tarvona_diag_json_render, OversizedDocumentStaysValidAndShortensTheLogFirst) {
    diag_report& r = fresh_report();
    r.flags.svc_log = r.flags.svc_cron = 1;
    fill_escaped(r.log, log_capacity - 1);
    r.service_count = max_services;
    for (service_entry& e : r.services) {
        copy_text(e.name, "svc");
        fill_escaped(e.config, sizeof e.config - 1);
    }
    // the last config ends inside a two-byte UTF-8 letter
    r.services[max_services - 1].config[sizeof r.services[0].config - 2] = '\xD0';

    std::string out = render(r);
    ASSERT_LE(out.size(), output_capacity - 1);
    parsed doc(out.c_str());
    ASSERT_NE(nullptr, doc.root) << "not one JSON document";
    // The services alone fill the buffer: the log goes first, down to its marker.
    std::string log = json_object_get_string(doc.at({"log"}));
    EXPECT_NE(std::string::npos, log.find("обрезано")) << log.substr(0, 200);
    EXPECT_LT(log.size(), 100u);
    json_object* services = doc.at({"services"});
    ASSERT_EQ(16u, json_object_array_length(services));
    // the stray byte became '?', so the text is valid UTF-8
    std::string last = json_object_get_string(
        json_object_object_get(json_object_array_get_idx(services, 15), "config"));
    EXPECT_EQ(std::string::npos, last.find('\xD0'));
}

TEST(tarvona_diag_json_render, DocumentThatFitsIsNotShortened) {
    diag_report& r = fresh_report();
    r.flags.svc_log = 1;
    fill_escaped(r.log, 100000); // about 125 KB once escaped
    parsed doc(render(r).c_str());
    ASSERT_NE(nullptr, doc.root);
    EXPECT_EQ(100000u, strlen(json_object_get_string(doc.at({"log"}))));
}

} // namespace
} // namespace tarvona_diag
