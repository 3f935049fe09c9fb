#include "render_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "collect.h"

namespace tarvona_diag {

namespace {

constexpr size_t line_capacity = 8192;

char g_line[line_capacity]; // every formatted line

// Formats into the line buffer cut to size - 1 bytes, then appends it.
__attribute__((format(printf, 2, 3))) void append_line(size_t size, const char* fmt, ...) {
    if (size > line_capacity) size = line_capacity;
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(g_line, size, fmt, ap);
    va_end(ap);
    out_append(g_line);
}

const char hash_rule[] =
    "################################################################################\n";
const char double_rule[] =
    "================================================================================\n";

void section_banner(const char* title) {
    out_append(double_rule);
    out_append("                              "); // 30 spaces
    out_append(title);
    out_append("\n");
    out_append(double_rule);
    out_append("\n");
}

void render_header(const diag_report& r) {
    out_append(hash_rule);
    out_append("                                QZ Diagnostics\n"); // 32 spaces
    out_append(hash_rule);
    out_append("\n");
    out_append("Дата и время: ");
    out_append(r.timestamp);
    out_append("\nHostname: ");
    out_append(r.hostname);
    out_append("\n\n");
}

void text_block(const char* heading, const char* body, const char* closing) {
    out_append(heading);
    out_append(body);
    out_append(closing);
}

void render_system(const diag_report& r, const test_flags& f) {
    const system_facts& s = r.system;
    section_banner("СИСТЕМА");
    if (f.sys_version) {
        out_append("--- Версия OpenWrt ---\n");
        append_line(256,
                    "DISTRIB_ID=%s\nDISTRIB_RELEASE=%s\nDISTRIB_REVISION=%s\n"
                    "DISTRIB_TARGET=%s\nDISTRIB_ARCH=%s\nDISTRIB_DESCRIPTION=%s\n",
                    s.distrib_id, s.release, s.revision, s.target, s.arch, s.description);
        out_append("\n");
    }
    if (f.sys_kernel) text_block("--- Версия ядра ---\n", s.kernel, "\n\n");
    if (f.sys_uptime) text_block("--- Uptime ---\n", s.uptime, "\n\n");
    if (f.sys_cpu) {
        out_append("--- Загрузка CPU ---\n");
        append_line(64, "%.2f %.2f %.2f\n", s.load[0], s.load[1], s.load[2]);
        out_append("\n");
    }
    if (f.sys_memory) {
        out_append("--- Память ---\n");
        append_line(256,
                    "              total        used        free      shared     buffers   "
                    "available\nMem:    %10s  %10s  %10s  %10s  %10s  %10s\n",
                    s.total, s.used, s.free, s.shared, s.buffers, s.available);
        out_append("\n");
    }
    if (f.sys_disk) {
        out_append("--- Дисковое пространство ---\n");
        out_append("Filesystem            Size    Used   Avail Use% Mounted on\n");
        for (int i = 0; i < s.disk_count && i < max_disk_rows; ++i) {
            const disk_row& d = s.disk[i];
            append_line(256, "%-20s %7s %7s %7s %4s %s\n", d.filesystem, d.size, d.used,
                        d.available, d.percent, d.mount);
        }
        out_append("\n");
    }
    if (f.sys_time) text_block("--- Системное время ---\n", s.time, "\n\n");
}

void render_interfaces(const network_facts& n) {
    out_append("--- Сетевые интерфейсы ---\n");
    for (int i = 0; i < n.interface_count && i < max_interfaces; ++i) {
        const iface_row& row = n.interfaces[i];
        append_line(128, "%-16s %-12s %s\n", row.name, row.status, row.ip);
    }
    out_append("\n");
}

void render_links(const network_facts& n) {
    out_append("--- Статус линков ---\n");
    for (int i = 0; i < n.link_count && i < max_links; ++i) {
        const iface_row& row = n.links[i];
        append_line(128, "%-16s %-12s %s\n", row.name, row.status, row.mac);
    }
    out_append("\n");
}

void render_routes(const route_row* rows, int count, bool with_metric) {
    for (int i = 0; i < count && i < max_routes; ++i) {
        const route_row& rt = rows[i];
        const char* gw = rt.gateway[0] ? rt.gateway : "-";
        if (with_metric)
            append_line(256, "%s via %s dev %s %s\n", rt.destination, gw, rt.device, rt.metric);
        else
            append_line(256, "%s via %s dev %s\n", rt.destination, gw, rt.device);
    }
}

void render_ping(const diag_report& r) {
    const network_facts& n = r.network;
    out_append("--- Проверка связи ---\n");
    for (int g = 0; g < n.ping_group_count && g < max_ping_groups; ++g) {
        const ping_group& grp = n.ping[g];
        append_line(128, "Через %s:\n", grp.interface);
        for (int i = 0; i < grp.result_count && i < max_ping_results; ++i) {
            const ping_result& res = grp.results[i];
            append_line(128, "  %s: %s (%.2f ms)\n", res.target, res.success ? "OK" : "FAIL",
                        res.latency_ms);
        }
    }
    const proxy_check_result& pc = r.proxy_check;
    if (pc.attempted) {
        if (pc.success)
            append_line(256, "Opera-proxy → %s: [✓] HTTP %d\n", check_host, pc.http_code);
        else
            append_line(256, "Opera-proxy → %s: [✗] %s\n", check_host,
                        pc.error[0] ? pc.error : "failed");
    }
    out_append("\n");
}

void render_wifi(const network_facts& n) {
    if (n.wifi[0]) {
        out_append("--- Беспроводные интерфейсы ---\n");
        out_append(n.wifi);
        out_append("\n");
    }
    if (n.wifi_config[0])
        text_block("--- Конфигурация (/etc/config/wireless) ---\n", n.wifi_config, "\n");
    if (n.wifi_rx_queues[0]) text_block("--- MT76 RX Queues ---\n", n.wifi_rx_queues, "\n\n");
    if (n.wifi_hw_queues[0]) text_block("--- MT76 HW Queues ---\n", n.wifi_hw_queues, "\n\n");
    if (n.wifi_dmesg[0]) text_block("--- dmesg MT7x ---\n", n.wifi_dmesg, "\n\n");
}

void render_network(const diag_report& r, const test_flags& f) {
    const network_facts& n = r.network;
    section_banner("СЕТЬ");
    if (f.net_interfaces) render_interfaces(n);
    if (f.net_links) render_links(n);
    if (f.net_routes) {
        out_append("--- Таблица маршрутизации ---\n");
        render_routes(n.routes, n.route_count, true);
        out_append("\n");
    }
    if (f.net_routes6) {
        out_append("--- IPv6 маршруты ---\n");
        render_routes(n.routes6, n.route6_count, false);
        out_append("\n");
    }
    if (f.net_arp) {
        out_append("--- ARP таблица ---\n");
        out_append(n.arp);
        out_append("\n\n");
    }
    if (f.net_dns) {
        out_append("--- DNS серверы ---\n");
        for (int i = 0; i < n.dns_count && i < max_dns; ++i) {
            out_append("nameserver ");
            out_append(n.dns[i]);
            out_append("\n");
        }
        out_append("\n");
    }
    if (f.net_conntrack) {
        out_append("--- Conntrack статистика ---\n");
        append_line(128, "Текущих соединений: %ld\nМаксимум соединений: %ld\n",
                    static_cast<long>(n.current), static_cast<long>(n.max));
        out_append("\n");
    }
    if (f.net_traffic) {
        out_append("--- Статистика трафика ---\n");
        out_append("Interface        RX bytes    RX packets    TX bytes    TX packets\n");
        for (int i = 0; i < n.traffic_count && i < max_traffic_rows; ++i) {
            const traffic_row& t = n.traffic[i];
            append_line(128, "%-16s %10lld %13lld %11lld %13lld\n", t.interface,
                        static_cast<long long>(t.rx_bytes), static_cast<long long>(t.rx_packets),
                        static_cast<long long>(t.tx_bytes), static_cast<long long>(t.tx_packets));
        }
        out_append("\n");
    }
    if (f.net_ping) render_ping(r);
    if (f.net_wifi) render_wifi(n);
    if (f.net_nftables && n.nftables[0]) text_block("--- Правила nftables ---\n", n.nftables, "\n");
}

void render_service(const service_entry& s) {
    out_append(double_rule);
    out_append("=== СЕРВИС: ");
    out_append(s.name);
    out_append(" ===\n");
    out_append(double_rule);
    out_append("\n");
    if (!s.hidden) {
        out_append("Статус:     ");
        if (s.running)
            append_line(64, "[✓] работает (PID: %d)\n", s.pid);
        else
            out_append("[✗] остановлен\n");
        out_append("Автозапуск: ");
        out_append(s.enabled ? "[✓] включён\n" : "[✗] выключен\n");
        out_append("\n");
    }
    if (s.config[0]) {
        out_append("--- Конфигурация (");
        out_append(s.config_path);
        out_append(") ---\n");
        out_append(s.config);
        out_append("\n");
    }
}

void render_sections(const char* title, const list_section* secs, int count) {
    if (count <= 0) return;
    out_append(title);
    for (int i = 0; i < count && i < max_list_sections; ++i) {
        const list_section& s = secs[i];
        append_line(256, "  Секция \"%s\" (%s", s.name, s.type);
        if (s.interface[0]) {
            out_append(", ");
            out_append(s.interface);
        }
        out_append("): ");
        for (int j = 0; j < s.list_count && j < max_section_lists; ++j) {
            if (j > 0) out_append(", ");
            out_append(s.lists[j]);
        }
        out_append("\n");
    }
    out_append("\n");
}

void render_overlap(const overlap_analysis& o) {
    if (o.podkop_section_count <= 0 && o.brimvale_section_count <= 0 && o.nslookup_count <= 0)
        return;
    out_append(double_rule);
    out_append("=== АНАЛИЗ СПИСКОВ И ПЕРЕСЕЧЕНИЙ ===\n");
    out_append(double_rule);
    out_append("\n");
    render_sections("podkop:\n", o.podkop_sections, o.podkop_section_count);
    render_sections("brimvale:\n", o.brimvale_sections, o.brimvale_section_count);

    bool any = false;
    for (int i = 0; i < o.conflict_count && i < max_conflicts; ++i) {
        const conflict_entry& c = o.conflicts[i];
        if (!c.zapret && !c.zapret2 && !c.youtubeUnblock) continue;
        if (!any) out_append("Конфликты:\n");
        any = true;
        append_line(256, "  ⚠ %s — %s секция \"%s\" — также в: ", c.list, c.service, c.section);
        const char* names[3];
        int k = 0;
        if (c.zapret)
            names[k++] = c.zapret == coverage_all_traffic ? "zapret (весь трафик)" : "zapret";
        if (c.zapret2)
            names[k++] = c.zapret2 == coverage_all_traffic ? "zapret2 (весь трафик)" : "zapret2";
        if (c.youtubeUnblock) names[k++] = "youtubeUnblock";
        for (int j = 0; j < k; ++j) {
            if (j > 0) out_append(", ");
            out_append(names[j]);
        }
        out_append("\n");
    }
    if (!any) out_append("Конфликтов не обнаружено.\n");

    if (o.nslookup_count > 0) {
        out_append("\nNSLookup:\n");
        for (int i = 0; i < o.nslookup_count && i < max_nslookups; ++i)
            append_line(256, "  %-20s %s\n", o.nslookup[i].domain, o.nslookup[i].ip);
    }
    out_append("\n");
}

void render_services(const diag_report& r, const test_flags& f) {
    section_banner("СЕРВИСЫ");
    for (int i = 0; i < r.service_count && i < max_services; ++i)
        render_service(r.services[i]);
    if (f.svc_overlap) render_overlap(r.overlap);
    if (f.svc_log && r.log[0]) {
        out_append(double_rule);
        out_append("=== СИСТЕМНЫЙ ЛОГ ===\n");
        out_append(double_rule);
        out_append("\n");
        out_append(r.log);
        out_append("\n");
    }
}

void render_end() {
    out_append(hash_rule);
    out_append(
        "                                  КОНЕЦ ОТЧЁТА                                  \n");
    out_append(hash_rule);
}

} // namespace

void render_text_report(const diag_report& r, const test_flags& f) {
    render_header(r);
    render_system(r, f);
    if (any_network_test(f)) render_network(r, f);
    if (any_service_test(f)) render_services(r, f);
    render_end();
}

} // namespace tarvona_diag
