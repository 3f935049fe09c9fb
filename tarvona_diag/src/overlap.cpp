#include "overlap.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "text_ops.h"

namespace tarvona_diag {

const char* const test_domains[test_domain_count] = {"youtube.com", "instagram.com", "chatgpt.com",
                                                     "web.telegram.org", "discord.com"};

conflict_entry* find_or_add_conflict(overlap_analysis& ov, const char* name) {
    for (int i = 0; i < ov.conflict_count; ++i)
        if (strcmp(ov.conflicts[i].list, name) == 0) return &ov.conflicts[i];
    if (ov.conflict_count >= max_conflicts) return nullptr;
    conflict_entry& e = ov.conflicts[ov.conflict_count++];
    e = conflict_entry{};
    copy_text(e.list, name);
    return &e;
}

void mark_all_lists(overlap_analysis& ov, coverage_field field, int32_t code) {
    for (int s = 0; s < ov.podkop_section_count; ++s) {
        const list_section& sec = ov.podkop_sections[s];
        for (int i = 0; i < sec.list_count; ++i)
            if (conflict_entry* e = find_or_add_conflict(ov, sec.lists[i])) e->*field = code;
    }
}

namespace {

// "--hostlist=/opt/zapret/ipset/zapret-hosts-youtube.txt" -> "youtube".
void hostlist_name(const char* value, char (&name)[64]) {
    const char* base = strrchr(value, '/');
    base = base ? base + 1 : value;
    if (starts_with(base, "zapret-hosts-") || starts_with(base, "zapret_hosts_"))
        base += strlen("zapret-hosts-");
    copy_text(name, base);
    if (char* dot = strrchr(name, '.')) *dot = '\0';
}

} // namespace

void scan_zapret_profiles(overlap_analysis& ov, const char* nfqws_opt) {
    if (!nfqws_opt || !*nfqws_opt) return;
    char text[4096];
    copy_text(text, nfqws_opt);

    bool host_restricted = false;
    char line[4096];
    const char* pos = text;
    while ((pos = next_line(pos, line, sizeof line)) != nullptr) {
        const char* p = line;
        while (*p == ' ' || *p == '\t')
            ++p;
        if (starts_with(p, "--new")) {
            if (!host_restricted) mark_all_lists(ov, &conflict_entry::zapret, coverage_all_traffic);
            host_restricted = false;
        } else if (starts_with(p, "--hostlist=")) {
            char name[64];
            hostlist_name(p + strlen("--hostlist="), name);
            if (name[0])
                if (conflict_entry* e = find_or_add_conflict(ov, name))
                    e->zapret = coverage_by_name;
            host_restricted = true;
        }
    }
    if (!host_restricted) mark_all_lists(ov, &conflict_entry::zapret, coverage_all_traffic);
}

void mark_zapret2_strategy(overlap_analysis& ov, const char* const* hostlists, int count) {
    bool host_restricted = false;
    for (int i = 0; i < count; ++i) {
        const char* name = hostlists[i];
        if (starts_with(name, "list_hosts_")) name += strlen("list_hosts_");
        if (conflict_entry* e = find_or_add_conflict(ov, name)) e->zapret2 = coverage_by_name;
        host_restricted = true;
    }
    if (!host_restricted) mark_all_lists(ov, &conflict_entry::zapret2, coverage_all_traffic);
}

void mark_youtube_unblock(overlap_analysis& ov) {
    for (const char* name : {"youtube", "russia_inside"})
        if (conflict_entry* e = find_or_add_conflict(ov, name))
            e->youtubeUnblock = coverage_by_name;
}

int compact_candidates(overlap_analysis& ov, conflict_candidate* out) {
    int n = 0;
    for (int i = 0; i < ov.conflict_count && n < max_conflicts; ++i) {
        const conflict_entry& e = ov.conflicts[i];
        if (!e.zapret && !e.zapret2 && !e.youtubeUnblock) continue;
        conflict_candidate& c = out[n++];
        copy_text(c.list, e.list);
        c.zapret = e.zapret;
        c.zapret2 = e.zapret2;
        c.youtubeUnblock = e.youtubeUnblock;
    }
    ov.conflict_count = 0;
    return n;
}

void record_conflicts(overlap_analysis& ov, const list_section* sections, int section_count,
                      const char* service, const conflict_candidate* candidates,
                      int candidate_count) {
    for (int s = 0; s < section_count; ++s) {
        const list_section& sec = sections[s];
        for (int i = 0; i < sec.list_count; ++i) {
            const char* item = sec.lists[i];
            for (int c = 0; c < candidate_count; ++c) {
                if (strcmp(candidates[c].list, item) != 0) continue;
                conflict_entry* e = nullptr;
                for (int k = 0; k < ov.conflict_count && !e; ++k)
                    if (strcmp(ov.conflicts[k].list, item) == 0 &&
                        strcmp(ov.conflicts[k].section, sec.name) == 0)
                        e = &ov.conflicts[k];
                if (!e) {
                    if (ov.conflict_count >= max_conflicts) continue;
                    e = &ov.conflicts[ov.conflict_count++];
                    *e = conflict_entry{};
                    copy_text(e->list, item);
                    copy_text(e->section, sec.name);
                }
                copy_text(e->service, service);
                e->zapret = candidates[c].zapret;
                e->zapret2 = candidates[c].zapret2;
                e->youtubeUnblock = candidates[c].youtubeUnblock;
            }
        }
    }
}

void finish_conflicts(overlap_analysis& ov, bool podkop_active, bool brimvale_active) {
    conflict_candidate candidates[max_conflicts];
    int n = compact_candidates(ov, candidates);
    if (podkop_active)
        record_conflicts(ov, ov.podkop_sections, ov.podkop_section_count, "podkop", candidates, n);
    if (brimvale_active) {
        // zapret and zapret2 are matched against podkop's lists only.
        conflict_candidate yt[max_conflicts];
        int m = 0;
        for (int i = 0; i < n; ++i) {
            if (!candidates[i].youtubeUnblock) continue;
            yt[m] = candidates[i];
            yt[m].zapret = 0;
            yt[m].zapret2 = 0;
            ++m;
        }
        record_conflicts(ov, ov.brimvale_sections, ov.brimvale_section_count, "brimvale", yt, m);
    }
}

void fill_test_domains(overlap_analysis& ov) {
    ov.nslookup_count = 0;
    for (int i = 0; i < test_domain_count && i < max_nslookups; ++i) {
        nslookup_entry& e = ov.nslookup[ov.nslookup_count++];
        e = nslookup_entry{};
        copy_text(e.domain, test_domains[i]);
    }
}

namespace {

class script_writer {
  public:
    script_writer(char* out, size_t cap) : out_(out), cap_(cap) { out_[0] = '\0'; }
    template <typename... A> void add(const char* fmt, A... args) {
        if (!ok_) return;
        int n = snprintf(out_ + len_, cap_ - len_, fmt, args...);
        if (n < 0 || static_cast<size_t>(n) >= cap_ - len_) {
            ok_ = false;
            out_[len_] = '\0';
            return;
        }
        len_ += static_cast<size_t>(n);
    }
    bool ok() const { return ok_; }

  private:
    char* out_;
    size_t cap_;
    size_t len_ = 0;
    bool ok_ = true;
};

// A domain goes into the script inside single quotes; anything but the
// characters of a host name would need quoting, so such a domain is left out.
bool plain_host_name(const char* s) {
    if (!*s) return false;
    for (; *s; ++s) {
        char c = *s;
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '.' || c == '-' || c == '_';
        if (!ok) return false;
    }
    return true;
}

} // namespace

bool build_lookup_script(const overlap_analysis& ov, char* out, size_t cap) {
    if (!out || cap == 0) return false;
    script_writer w(out, cap);
    // Each run keeps its answers in a private directory: fixed names under
    // /tmp could be planted as symbolic links, and two runs at once would
    // read each other's answers.
    w.add("d=$(mktemp -d /tmp/.diag_ns.XXXXXX) || exit 0\npids=''\n");
    for (int i = 0; i < ov.nslookup_count; ++i) {
        if (!plain_host_name(ov.nslookup[i].domain)) continue;
        w.add("sh -c 'nslookup %s 2>/dev/null | sed -n \"/^Name:/{n;s/^Address: *//p;q}\"' > "
              "\"$d/%d\" & pids=\"$pids $!\"\n",
              ov.nslookup[i].domain, i);
    }
    w.add("(sleep 5; kill $pids 2>/dev/null) >/dev/null 2>&1 &\nk=$!\nwait $pids 2>/dev/null\nkill "
          "$k 2>/dev/null\n");
    for (int i = 0; i < ov.nslookup_count; ++i) {
        if (!plain_host_name(ov.nslookup[i].domain)) continue;
        w.add("echo '%s '$(cat \"$d/%d\" 2>/dev/null)\n", ov.nslookup[i].domain, i);
    }
    w.add("rm -rf \"$d\"\n");
    return w.ok();
}

void parse_lookup_output(overlap_analysis& ov, const char* output) {
    char line[512];
    const char* pos = output;
    for (int n = 0; n < ov.nslookup_count && pos; ++n) {
        pos = next_line(pos, line, sizeof line);
        if (!pos) break;
        char name[128] = "";
        char addr[64] = "";
        if (sscanf(line, "%127s %63s", name, addr) < 1) continue;
        for (int i = 0; i < ov.nslookup_count; ++i) {
            if (strcmp(ov.nslookup[i].domain, name) != 0) continue;
            copy_text(ov.nslookup[i].ip, addr[0] ? addr : "-");
            break;
        }
    }
    for (int i = 0; i < ov.nslookup_count; ++i)
        if (!ov.nslookup[i].ip[0]) copy_text(ov.nslookup[i].ip, "-");
}

} // namespace tarvona_diag
