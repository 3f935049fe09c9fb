#include "overlap_collect.h"

#include <uci.h>

#include <cstdio>
#include <cstring>

#include "handles.h"
#include "overlap.h"
#include "probes.h"

namespace tarvona_diag {

namespace {

constexpr const char* podkop_marker = "-c /etc/sing-box/config.json";
constexpr const char* brimvale_marker = "-C /tmp/brimvale/sing-box.d";

uci_option* first_list_option(uci_section* s, const char* name) {
    uci_element* e;
    uci_foreach_element(&s->options, e) {
        uci_option* o = uci_to_option(e);
        if (strcmp(e->name, name) == 0 && o->type == UCI_TYPE_LIST) return o;
    }
    return nullptr;
}

bool dpi_service_running(const char* init_script, const char* process) {
    char path[64];
    snprintf(path, sizeof path, "/etc/init.d/%s", init_script);
    return file_exists(path) && service_running(init_script, process);
}

} // namespace

int load_list_sections(const char* package, list_section* table, const char* confdir) {
    uci_handle uci(confdir);
    uci_package* pkg = uci.load(package);
    if (!pkg) return 0;
    int count = 0;
    uci_element* se;
    uci_foreach_element(&pkg->sections, se) {
        if (count >= max_list_sections) break;
        uci_section* s = uci_to_section(se);
        if (strcmp(s->type, "section") != 0) continue;
        uci_option* lists = first_list_option(s, "community_lists");
        if (!lists) continue;
        list_section& row = table[count++];
        row = list_section{};
        copy_text(row.name, se->name ? se->name : s->type);
        copy_text(row.type, uci_get_option(uci.get(), s, "connection_type"));
        copy_text(row.interface, uci_get_option(uci.get(), s, "interface"));
        uci_element* item;
        uci_foreach_element(&lists->v.list, item) {
            if (row.list_count >= max_section_lists) break;
            copy_text(row.lists[row.list_count++], item->name);
        }
    }
    return count;
}

void scan_zapret_config(overlap_analysis& ov, const char* confdir) {
    uci_handle uci(confdir);
    uci_package* pkg = uci.load("zapret");
    if (!pkg) return;
    uci_element* se;
    uci_foreach_element(&pkg->sections, se) {
        uci_section* s = uci_to_section(se);
        if (strcmp(s->type, "main") != 0) continue;
        const char* enable = uci_get_option(uci.get(), s, "NFQWS_ENABLE");
        if (enable && strcmp(enable, "0") == 0) return;
        scan_zapret_profiles(ov, uci_get_option(uci.get(), s, "NFQWS_OPT"));
        return; // only the first main section counts
    }
}

void scan_zapret2_config(overlap_analysis& ov, const char* confdir) {
    uci_handle uci(confdir);
    uci_package* pkg = uci.load("zapret2");
    if (!pkg) return;
    uci_element* se;
    uci_foreach_element(&pkg->sections, se) {
        uci_section* s = uci_to_section(se);
        if (strcmp(s->type, "strategy") != 0 || option_disabled(uci.get(), s)) continue;
        const char* names[64];
        int n = 0;
        uci_element* oe;
        uci_foreach_element(&s->options, oe) {
            if (strcmp(oe->name, "hostlist") != 0) continue;
            uci_option* o = uci_to_option(oe);
            if (o->type == UCI_TYPE_STRING) {
                if (n < 64) names[n++] = o->v.string;
            } else {
                uci_element* item;
                uci_foreach_element(&o->v.list, item) {
                    if (n < 64) names[n++] = item->name;
                }
            }
        }
        mark_zapret2_strategy(ov, names, n);
    }
}

void collect_overlap(diag_report& r) {
    if (!r.flags.svc_overlap) return;
    overlap_analysis& ov = r.overlap;
    ov.podkop_section_count = 0;
    ov.brimvale_section_count = 0;
    ov.conflict_count = 0;

    char ps[512];
    run_command("ps w | grep sing-box | grep -v grep", ps, sizeof ps);
    const bool podkop = strstr(ps, podkop_marker) && file_exists("/etc/config/podkop");
    const bool brimvale = strstr(ps, brimvale_marker) && file_exists("/etc/config/brimvale");

    if (podkop) ov.podkop_section_count = load_list_sections("podkop", ov.podkop_sections);
    if (brimvale) ov.brimvale_section_count = load_list_sections("brimvale", ov.brimvale_sections);

    if (ov.podkop_section_count > 0 || ov.brimvale_section_count > 0) {
        if (podkop && dpi_service_running("zapret", "nfqws")) scan_zapret_config(ov);
        if (podkop && dpi_service_running("zapret2", "nfqws2")) scan_zapret2_config(ov);
        if (dpi_service_running("youtubeUnblock", "youtubeUnblock")) mark_youtube_unblock(ov);
        finish_conflicts(ov, podkop, brimvale);
    }
    // The test-domain lookups run during the whole collection
    // (slow_probes.cpp).
}

} // namespace tarvona_diag
