// The text report: frame, blocks per test, glyphs, byte for byte. The record
// comes masked (report_clean); the renderer shows it as it stands.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "render_text.h"
#include "request.h"

using namespace tarvona_diag;

namespace {

const std::string hash_rule = std::string(80, '#') + "\n";
const std::string double_rule = std::string(80, '=') + "\n";

std::string banner(const char* title) {
    return double_rule + std::string(30, ' ') + title + "\n" + double_rule + "\n";
}

const std::string end_marker =
    hash_rule + std::string(34, ' ') + "КОНЕЦ ОТЧЁТА" + std::string(34, ' ') + "\n" + hash_rule;

struct fixture {
    std::unique_ptr<diag_report> r = std::make_unique<diag_report>();
    test_flags f{};
    fixture() {
        memset(r.get(), 0, sizeof *r);
        copy_text(r->timestamp, "2026-12-08 21:24:22");
        copy_text(r->hostname, "OpenWrt");
    }
    void select(const char* tests) { select_tests(tests, f); }
    std::string render() {
        out_reset();
        render_text_report(*r, f);
        return output_buffer;
    }
};

iface_row iface(const char* name, const char* status, const char* ip, const char* mac) {
    iface_row row{};
    copy_text(row.name, name);
    copy_text(row.status, status);
    copy_text(row.ip, ip);
    copy_text(row.mac, mac);
    return row;
}

} // namespace

TEST(tarvona_diag_render_text, SystemOnlyWholeReport) {
    fixture fx;
    fx.select("sys_cpu,sys_memory,sys_disk");
    system_facts& s = fx.r->system;
    copy_text(s.distrib_id, "OpenWrt");
    copy_text(s.release, "23.05.3");
    copy_text(s.revision, "r23809");
    copy_text(s.target, "mediatek/filogic");
    copy_text(s.arch, "aarch64_cortex-a53");
    copy_text(s.description, "OpenWrt 23.05.3 r23809");
    copy_text(s.kernel, "5.15.150");
    copy_text(s.uptime, "21:24:22 up 3 days");
    s.load[0] = 0.5;
    s.load[1] = 0.256;
    s.load[2] = 1;
    copy_text(s.total, "493516");
    copy_text(s.used, "88244");
    copy_text(s.free, "353472");
    copy_text(s.shared, "1124");
    copy_text(s.buffers, "51800");
    copy_text(s.available, "366356");
    s.disk_count = 1;
    copy_text(s.disk[0].filesystem, "/dev/root");
    copy_text(s.disk[0].size, "4.5M");
    copy_text(s.disk[0].used, "4.5M");
    copy_text(s.disk[0].available, "0");
    copy_text(s.disk[0].percent, "100%");
    copy_text(s.disk[0].mount, "/rom");
    copy_text(s.time, "Tue Dec  8 21:24:22 UTC 2026");

    std::string want =
        hash_rule + std::string(32, ' ') + "QZ Diagnostics\n" + hash_rule + "\n" +
        "Дата и время: 2026-12-08 21:24:22\nHostname: OpenWrt\n\n" + banner("СИСТЕМА") +
        "--- Версия OpenWrt ---\n"
        "DISTRIB_ID=OpenWrt\nDISTRIB_RELEASE=23.05.3\nDISTRIB_REVISION=r23809\n"
        "DISTRIB_TARGET=mediatek/filogic\nDISTRIB_ARCH=aarch64_cortex-a53\n"
        "DISTRIB_DESCRIPTION=OpenWrt 23.05.3 r23809\n\n"
        "--- Версия ядра ---\n5.15.150\n\n"
        "--- Uptime ---\n21:24:22 up 3 days\n\n"
        "--- Загрузка CPU ---\n0.50 0.26 1.00\n\n"
        "--- Память ---\n"
        "              total        used        free      shared     buffers   available\n"
        "Mem:        493516       88244      353472        1124       51800      366356\n\n"
        "--- Дисковое пространство ---\n"
        "Filesystem            Size    Used   Avail Use% Mounted on\n"
        "/dev/root               4.5M    4.5M       0 100% /rom\n\n"
        "--- Системное время ---\nTue Dec  8 21:24:22 UTC 2026\n\n" +
        end_marker;
    EXPECT_EQ(want, fx.render());
}

TEST(tarvona_diag_render_text, OnlyAlwaysOnTestsNoOtherBanners) {
    fixture fx;
    fx.select("sys_time");
    std::string out = fx.render();
    EXPECT_EQ(std::string::npos, out.find("СЕТЬ"));
    EXPECT_EQ(std::string::npos, out.find("СЕРВИСЫ"));
    EXPECT_EQ(std::string::npos, out.find("Загрузка CPU"));
    EXPECT_NE(std::string::npos, out.find("--- Версия ядра ---\n\n\n--- Uptime ---"));
    EXPECT_EQ(out.size() - end_marker.size(), out.rfind(end_marker));
}

TEST(tarvona_diag_render_text, InterfacesLinksTrafficAsStored) {
    fixture fx;
    fx.select("net_interfaces,net_links,net_traffic");
    network_facts& n = fx.r->network;
    const iface_row rows[] = {
        iface("eth0", "UP", "203.0.x.x/24", ""),
        iface("br-lan", "UP", "192.168.1.1/24", ""),
        iface("pppoe-wan", "UP", "***", ""),
        iface("wan", "DOWN", "", ""),
    };
    n.interface_count = 4;
    for (int i = 0; i < 4; ++i)
        n.interfaces[i] = rows[i];
    n.link_count = 2;
    n.links[0] = iface("eth1", "UP", "", "94:83:c4:xx:xx:xx");
    n.links[1] = iface("wg0", "UNKNOWN", "", "");
    n.traffic_count = 1;
    copy_text(n.traffic[0].interface, "eth0");
    n.traffic[0].rx_bytes = 9876543210LL;
    n.traffic[0].rx_packets = 7654321;
    n.traffic[0].tx_bytes = 1234567890123LL;
    n.traffic[0].tx_packets = 654321;

    std::string want = banner("СЕТЬ") +
                       "--- Сетевые интерфейсы ---\n"
                       "eth0             UP           203.0.x.x/24\n"
                       "br-lan           UP           192.168.1.1/24\n"
                       "pppoe-wan        UP           ***\n"
                       "wan              DOWN         \n"
                       "\n"
                       "--- Статус линков ---\n"
                       "eth1             UP           94:83:c4:xx:xx:xx\n"
                       "wg0              UNKNOWN      \n"
                       "\n"
                       "--- Статистика трафика ---\n"
                       "Interface        RX bytes    RX packets    TX bytes    TX packets\n"
                       "eth0             9876543210       7654321 1234567890123        654321\n"
                       "\n";
    std::string out = fx.render();
    size_t at = out.find(banner("СЕТЬ"));
    ASSERT_NE(std::string::npos, at);
    EXPECT_EQ(want + end_marker, out.substr(at));
}

TEST(tarvona_diag_render_text, RoutesArpDnsConntrack) {
    fixture fx;
    fx.select("net_routes,net_routes6,net_arp,net_dns,net_conntrack");
    network_facts& n = fx.r->network;
    n.route_count = 2;
    copy_text(n.routes[0].destination, "default");
    copy_text(n.routes[0].gateway, "192.0.2.1");
    copy_text(n.routes[0].device, "wan");
    copy_text(n.routes[0].metric, "10");
    copy_text(n.routes[1].destination, "192.168.1.0/24");
    copy_text(n.routes[1].device, "br-lan");
    n.route6_count = 1;
    copy_text(n.routes6[0].destination, "default");
    copy_text(n.routes6[0].gateway, "fe80::1");
    copy_text(n.routes6[0].device, "pppoe-wan");
    copy_text(n.routes6[0].metric, "512");
    copy_text(n.arp, "192.168.1.20 dev br-lan lladdr 3c:22:fb:xx:xx:xx REACHABLE");
    n.dns_count = 2;
    copy_text(n.dns[0], "198.51.100.53");
    copy_text(n.dns[1], "2001:db8::53");
    n.current = 1234;
    n.max = 65536;

    std::string want = banner("СЕТЬ") +
                       "--- Таблица маршрутизации ---\n"
                       "default via 192.0.2.1 dev wan 10\n"
                       "192.168.1.0/24 via - dev br-lan \n"
                       "\n"
                       "--- IPv6 маршруты ---\n"
                       "default via fe80::1 dev pppoe-wan\n"
                       "\n"
                       "--- ARP таблица ---\n"
                       "192.168.1.20 dev br-lan lladdr 3c:22:fb:xx:xx:xx REACHABLE\n\n"
                       "--- DNS серверы ---\n"
                       "nameserver 198.51.100.53\nnameserver 2001:db8::53\n\n"
                       "--- Conntrack статистика ---\n"
                       "Текущих соединений: 1234\nМаксимум соединений: 65536\n\n";
    std::string out = fx.render();
    EXPECT_EQ(want + end_marker, out.substr(out.find(banner("СЕТЬ"))));
}

TEST(tarvona_diag_render_text, PingAndProxyLines) {
    struct {
        int attempted, success, code;
        const char* error;
        const char* line;
    } const cases[] = {
        {0, 0, 0, "", ""},
        {1, 1, 301, "", "Opera-proxy → google.com: [✓] HTTP 301\n"},
        {1, 0, 0, "000", "Opera-proxy → google.com: [✗] 000\n"},
        {1, 0, 0, "", "Opera-proxy → google.com: [✗] failed\n"},
    };
    for (const auto& c : cases) {
        fixture fx;
        fx.select("net_ping");
        network_facts& n = fx.r->network;
        n.ping_group_count = 2;
        copy_text(n.ping[0].interface, "awg10");
        n.ping[0].result_count = 2;
        copy_text(n.ping[0].results[0].target, "1.1.1.1");
        n.ping[0].results[0].success = 1;
        n.ping[0].results[0].latency_ms = 12.345;
        copy_text(n.ping[0].results[1].target, "google.com");
        copy_text(n.ping[1].interface, "pppoe-wan");
        fx.r->proxy_check.attempted = c.attempted;
        fx.r->proxy_check.success = c.success;
        fx.r->proxy_check.http_code = c.code;
        copy_text(fx.r->proxy_check.error, c.error);

        std::string want = banner("СЕТЬ") +
                           "--- Проверка связи ---\n"
                           "Через awg10:\n"
                           "  1.1.1.1: OK (12.35 ms)\n"
                           "  google.com: FAIL (0.00 ms)\n"
                           "Через pppoe-wan:\n" +
                           c.line + "\n";
        std::string out = fx.render();
        EXPECT_EQ(want + end_marker, out.substr(out.find(banner("СЕТЬ"))));
    }
}

TEST(tarvona_diag_render_text, WirelessBlocksOnlyWhenFilled) {
    fixture fx;
    fx.select("net_wifi,net_nftables");
    std::string out = fx.render();
    // Neither the wireless headings nor the nftables one for empty texts.
    EXPECT_EQ(banner("СЕТЬ") + end_marker, out.substr(out.find(banner("СЕТЬ"))));

    network_facts& n = fx.r->network;
    copy_text(n.wifi, "phy0-ap0  ESSID: \"HomeNet\"\n  Access Point: 94:83:C4:xx:xx:xx\n");
    copy_text(n.wifi_config, "config wifi-iface 'default_radio0'\n\toption key '***'\n");
    copy_text(n.wifi_dmesg, "[   12.3] mt7915e 0000:01:00.0: HW/SW Version");
    copy_text(n.nftables, "table inet fw4 {\n}\n");
    std::string want = banner("СЕТЬ") +
                       "--- Беспроводные интерфейсы ---\n"
                       "phy0-ap0  ESSID: \"HomeNet\"\n  Access Point: 94:83:C4:xx:xx:xx\n\n"
                       "--- Конфигурация (/etc/config/wireless) ---\n"
                       "config wifi-iface 'default_radio0'\n\toption key '***'\n\n"
                       "--- dmesg MT7x ---\n[   12.3] mt7915e 0000:01:00.0: HW/SW Version\n\n"
                       "--- Правила nftables ---\ntable inet fw4 {\n}\n\n";
    out = fx.render();
    EXPECT_EQ(want + end_marker, out.substr(out.find(banner("СЕТЬ"))));
}

TEST(tarvona_diag_render_text, Services) {
    fixture fx;
    fx.select("svc_cron,svc_podkop");
    fx.r->service_count = 3;
    service_entry& cron = fx.r->services[0];
    copy_text(cron.name, "crond");
    copy_text(cron.config_path, "/etc/crontabs/root");
    cron.running = 1;
    cron.pid = 0; // running, PID not found
    cron.enabled = 1;
    copy_text(cron.config, "0 4 * * * /sbin/reboot\n");
    service_entry& stopped = fx.r->services[1];
    copy_text(stopped.name, "velmora");
    copy_text(stopped.config_path, "/etc/config/velmora");
    service_entry& podkop = fx.r->services[2];
    copy_text(podkop.name, "podkop");
    copy_text(podkop.config_path, "/etc/config/podkop");
    podkop.hidden = 1;
    podkop.running = 1;
    copy_text(podkop.config, "config main 'main'\n");

    std::string want = banner("СЕРВИСЫ") + double_rule + "=== СЕРВИС: crond ===\n" + double_rule +
                       "\n"
                       "Статус:     [✓] работает (PID: 0)\n"
                       "Автозапуск: [✓] включён\n"
                       "\n"
                       "--- Конфигурация (/etc/crontabs/root) ---\n"
                       "0 4 * * * /sbin/reboot\n\n" +
                       double_rule + "=== СЕРВИС: velmora ===\n" + double_rule +
                       "\n"
                       "Статус:     [✗] остановлен\n"
                       "Автозапуск: [✗] выключен\n"
                       "\n" +
                       double_rule + "=== СЕРВИС: podkop ===\n" + double_rule +
                       "\n"
                       "--- Конфигурация (/etc/config/podkop) ---\n"
                       "config main 'main'\n\n";
    std::string out = fx.render();
    EXPECT_EQ(want + end_marker, out.substr(out.find(banner("СЕРВИСЫ"))));
}

TEST(tarvona_diag_render_text, OverlapBlock) {
    fixture fx;
    fx.select("svc_overlap");
    // No sections and no lookups: no block at all.
    std::string out = fx.render();
    EXPECT_EQ(banner("СЕРВИСЫ") + end_marker, out.substr(out.find(banner("СЕРВИСЫ"))));

    overlap_analysis& o = fx.r->overlap;
    o.podkop_section_count = 2;
    copy_text(o.podkop_sections[0].name, "main");
    copy_text(o.podkop_sections[0].type, "vpn");
    copy_text(o.podkop_sections[0].interface, "wg0");
    o.podkop_sections[0].list_count = 2;
    copy_text(o.podkop_sections[0].lists[0], "youtube");
    copy_text(o.podkop_sections[0].lists[1], "news");
    copy_text(o.podkop_sections[1].name, "extra");
    copy_text(o.podkop_sections[1].interface, "awg10");
    o.brimvale_section_count = 1;
    copy_text(o.brimvale_sections[0].name, "b1");
    copy_text(o.brimvale_sections[0].type, "proxy");
    o.brimvale_sections[0].list_count = 1;
    copy_text(o.brimvale_sections[0].lists[0], "meta");
    o.conflict_count = 3;
    conflict_entry* c = o.conflicts;
    copy_text(c[0].list, "youtube");
    copy_text(c[0].section, "main");
    copy_text(c[0].service, "podkop");
    c[0].zapret = coverage_all_traffic;
    c[0].zapret2 = coverage_by_name;
    c[0].youtubeUnblock = coverage_by_name;
    copy_text(c[1].list, "news"); // all zero: no line
    copy_text(c[2].list, "meta");
    copy_text(c[2].section, "b1");
    copy_text(c[2].service, "brimvale");
    c[2].zapret = coverage_by_name;
    c[2].zapret2 = coverage_all_traffic;
    o.nslookup_count = 2;
    copy_text(o.nslookup[0].domain, "youtube.com");
    copy_text(o.nslookup[0].ip, "142.250.74.46");
    copy_text(o.nslookup[1].domain, "example.org");
    copy_text(o.nslookup[1].ip, "-");

    std::string want =
        banner("СЕРВИСЫ") + double_rule + "=== АНАЛИЗ СПИСКОВ И ПЕРЕСЕЧЕНИЙ ===\n" + double_rule +
        "\n"
        "podkop:\n"
        "  Секция \"main\" (vpn, wg0): youtube, news\n"
        "  Секция \"extra\" (, awg10): \n"
        "\n"
        "brimvale:\n"
        "  Секция \"b1\" (proxy): meta\n"
        "\n"
        "Конфликты:\n"
        "  ⚠ youtube — podkop секция \"main\" — также в: zapret (весь трафик), "
        "zapret2, youtubeUnblock\n"
        "  ⚠ meta — brimvale секция \"b1\" — также в: zapret, zapret2 (весь трафик)\n"
        "\n"
        "NSLookup:\n"
        "  youtube.com          142.250.74.46\n"
        "  example.org          -\n"
        "\n";
    out = fx.render();
    EXPECT_EQ(want + end_marker, out.substr(out.find(banner("СЕРВИСЫ"))));

    for (int i = 0; i < 3; ++i)
        c[i].zapret = c[i].zapret2 = c[i].youtubeUnblock = 0;
    o.nslookup_count = 0;
    out = fx.render();
    EXPECT_NE(
        std::string::npos,
        out.find("  Секция \"b1\" (proxy): meta\n\nКонфликтов не обнаружено.\n\n" + hash_rule));
}

TEST(tarvona_diag_render_text, LogBlockAndOverflowKeepsEndMarker) {
    fixture fx;
    fx.select("svc_log");
    std::string out = fx.render();
    EXPECT_EQ(std::string::npos, out.find("СИСТЕМНЫЙ ЛОГ"));

    memset(fx.r->log, 'L', sizeof fx.r->log - 1);
    fx.r->log[sizeof fx.r->log - 1] = '\0';
    for (int i = 0; i < 9; ++i) {
        service_entry& e = fx.r->services[fx.r->service_count++];
        copy_text(e.name, "svc");
        copy_text(e.config_path, "/etc/config/x");
        memset(e.config, 'c', sizeof e.config - 1);
    }
    out = fx.render();
    // Nine 16 KiB configurations and the 128 KiB log do not all fit: the log
    // is dropped whole, the end marker still closes the report.
    EXPECT_EQ(std::string::npos, out.find("LLLL"));
    EXPECT_NE(std::string::npos, out.find("=== СИСТЕМНЫЙ ЛОГ ===\n" + double_rule + "\n\n"));
    EXPECT_EQ(out.size() - end_marker.size(), out.rfind(end_marker));
    EXPECT_LE(out.size(), output_capacity - 1);
}

TEST(tarvona_diag_render_text, VersionLineCutAt255Bytes) {
    fixture fx;
    fx.select("sys_time");
    memset(fx.r->system.description, 'd', 127);
    memset(fx.r->system.revision, 'r', 63);
    memset(fx.r->system.target, 't', 63);
    std::string out = fx.render();
    size_t a = out.find("DISTRIB_ID=");
    size_t b = out.find("\n--- Версия ядра");
    ASSERT_NE(std::string::npos, b);
    // 255 bytes of the formatted block; the closing newline follows.
    EXPECT_EQ(255u, b - a);
}
