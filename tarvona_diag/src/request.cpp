#include "request.h"

#include <cstdio>
#include <cstring>

#include "text_ops.h"

namespace tarvona_diag {

namespace {

constexpr size_t query_scratch = 64; // action and format pass through this
constexpr size_t test_list_work = 1024;

// The four system tests that every report carries.
bool always_on(int32_t test_flags::*flag) {
    return flag == &test_flags::sys_version || flag == &test_flags::sys_kernel ||
           flag == &test_flags::sys_uptime || flag == &test_flags::sys_time;
}

void set_test(test_flags& f, const char* item) {
    for (const test_key& k : test_keys) {
        if (always_on(k.flag)) continue;
        if (strcmp(item, k.key) == 0) {
            f.*(k.flag) = 1;
            return;
        }
    }
}

const char* after_prefix(const char* arg, const char* prefix) {
    size_t n = strlen(prefix);
    return strncmp(arg, prefix, n) == 0 ? arg + n : nullptr;
}

} // namespace

const char help_text[] = "QZ Diagnostics - утилита диагностики роутера OpenWrt\n"
                         "\n"
                         "Использование:\n"
                         "  tarvona_diag                      Полная диагностика\n"
                         "  tarvona_diag --tests=список       Выборочные тесты\n"
                         "  tarvona_diag --format=json        Вывод в формате JSON\n"
                         "  tarvona_diag -d                   Скачать отчёт\n"
                         "\n"
                         "Доступные тесты:\n"
                         "  Система:  sys_version, sys_kernel, sys_uptime, sys_cpu,\n"
                         "            sys_memory, sys_disk, sys_time\n"
                         "  Сеть:     net_interfaces, net_links, net_routes, net_routes6,\n"
                         "            net_arp, net_dns, net_conntrack, net_traffic,\n"
                         "            net_ping, net_wifi, net_nftables\n"
                         "  Сервисы:  svc_cron, svc_network, svc_firewall, svc_dnsmasq,\n"
                         "            svc_velmora, svc_singbox, svc_podkop, svc_zapret,\n"
                         "            svc_zapret2, svc_ytunblock, svc_dohproxy, svc_stubby,\n"
                         "            svc_telemt, svc_overlap, svc_log\n"
                         "\n"
                         "Пример: tarvona_diag --tests=sys_uptime,net_ping,svc_cron\n";

void set_request_defaults(request& rq) {
    copy_text(rq.action, "run");
    copy_text(rq.format, "text");
    rq.tests[0] = '\0';
}

bool query_param(const char* query, const char* name, char* dst, size_t cap) {
    if (!query || !name || !dst || cap == 0) return false;
    size_t name_len = strlen(name);
    const char* seg = query;
    while (true) {
        if (strncmp(seg, name, name_len) == 0 && seg[name_len] == '=') {
            const char* v = seg + name_len + 1;
            size_t n = strcspn(v, "&");
            if (n > cap - 1) n = cap - 1;
            memcpy(dst, v, n);
            dst[n] = '\0';
            return true;
        }
        const char* amp = strchr(seg, '&');
        if (!amp) return false;
        seg = amp + 1;
    }
}

void apply_query(const char* query, request& rq) {
    if (!query || !*query) return;
    char scratch[query_scratch];
    if (query_param(query, "action", scratch, sizeof scratch)) copy_text(rq.action, scratch);
    query_param(query, "tests", rq.tests, sizeof rq.tests);
    if (query_param(query, "format", scratch, sizeof scratch)) copy_text(rq.format, scratch);
}

bool apply_arguments(int argc, const char* const* argv, request& rq) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!a) continue;
        const char* v;
        if (strcmp(a, "--download") == 0 || strcmp(a, "-d") == 0) {
            copy_text(rq.action, "download");
        } else if ((v = after_prefix(a, "--tests="))) {
            copy_text(rq.tests, v);
        } else if ((v = after_prefix(a, "--format="))) {
            copy_text(rq.format, v);
        } else if (strcmp(a, "--json") == 0 || strcmp(a, "-j") == 0) {
            copy_text(rq.format, "json");
        } else if (strcmp(a, "--help") == 0 || strcmp(a, "-h") == 0) {
            return true;
        }
    }
    return false;
}

void select_tests(const char* tests, test_flags& f) {
    memset(&f, 0, sizeof f);
    if (!tests || !*tests) {
        for (const test_key& k : test_keys)
            f.*(k.flag) = 1;
        return;
    }
    f.sys_version = f.sys_kernel = f.sys_uptime = f.sys_time = 1;
    char work[test_list_work];
    copy_text(work, tests);
    char* item = work;
    while (item) {
        char* comma = strchr(item, ',');
        if (comma) *comma = '\0';
        char* key = trim(item);
        if (*key) set_test(f, key);
        item = comma ? comma + 1 : nullptr;
    }
}

bool wants_json(const request& rq) {
    return strcmp(rq.format, "json") == 0;
}

bool wants_download(const request& rq) {
    return strcmp(rq.action, "download") == 0;
}

size_t format_headers(const request& rq, const char* timestamp, char* out, size_t cap) {
    if (!out || cap == 0) return 0;
    int n;
    if (!wants_download(rq)) {
        const char* type =
            wants_json(rq) ? "application/json; charset=utf-8" : "text/plain; charset=utf-8";
        n = snprintf(out, cap,
                     "Content-Type: %s\r\n"
                     "Cache-Control: no-cache, no-store, must-revalidate\r\n"
                     "Pragma: no-cache\r\n"
                     "Expires: 0\r\n"
                     "\r\n",
                     type);
    } else {
        char stamp[32];
        copy_text(stamp, timestamp ? timestamp : "");
        for (char* p = stamp; *p; ++p)
            if (*p == ' ' || *p == ':') *p = '_';
        char file_name[64];
        snprintf(file_name, sizeof file_name, "tarvona_diag_%s%s", stamp,
                 wants_json(rq) ? ".json" : ".txt");
        n = snprintf(out, cap,
                     "Content-Type: text/plain; charset=utf-8\r\n"
                     "Content-Disposition: attachment; filename=\"%s\"\r\n"
                     "Cache-Control: no-cache, no-store, must-revalidate\r\n"
                     "\r\n",
                     file_name);
    }
    if (n < 0) return 0;
    return static_cast<size_t>(n) < cap ? static_cast<size_t>(n) : cap - 1;
}

} // namespace tarvona_diag
