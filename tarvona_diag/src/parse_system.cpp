#include "parse_system.h"

#include <cstring>

#include "text_ops.h"

namespace tarvona_diag {

namespace {
constexpr size_t release_line = 256;
constexpr size_t wide_line = 512;
} // namespace

void parse_openwrt_release(const char* text, system_facts& s) {
    s.distrib_id[0] = s.release[0] = s.revision[0] = '\0';
    s.target[0] = s.arch[0] = s.description[0] = '\0';
    struct {
        const char* key;
        char* field;
        size_t cap;
    } const keys[] = {
        {"DISTRIB_ID", s.distrib_id, sizeof s.distrib_id},
        {"DISTRIB_RELEASE", s.release, sizeof s.release},
        {"DISTRIB_REVISION", s.revision, sizeof s.revision},
        {"DISTRIB_TARGET", s.target, sizeof s.target},
        {"DISTRIB_ARCH", s.arch, sizeof s.arch},
        {"DISTRIB_DESCRIPTION", s.description, sizeof s.description},
    };
    char line[release_line];
    const char* p = text;
    while ((p = next_line(p, line, sizeof line))) {
        char* eq = strchr(line, '=');
        if (!eq) continue;
        *eq = '\0';
        char* value = eq + 1;
        // One quote off each end, nothing else.
        if (*value == '\'' || *value == '"') ++value;
        size_t n = strlen(value);
        if (n > 0 && (value[n - 1] == '\'' || value[n - 1] == '"')) value[n - 1] = '\0';
        for (const auto& k : keys)
            if (strcmp(line, k.key) == 0) copy_text(k.field, k.cap, value);
    }
}

void parse_loadavg(const char* text, double load[3]) {
    load[0] = load[1] = load[2] = 0;
    field_slot f[5];
    int n = split_fields(text, f, 5);
    if (n > 2)
        for (int i = 0; i < 3; ++i)
            load[i] = leading_double(f[i]);
}

void parse_free(const char* text, system_facts& s) {
    char* const out[] = {s.total, s.used, s.free, s.shared, s.buffers, s.available};
    for (char* o : out)
        o[0] = '\0';
    char line[wide_line];
    const char* p = text;
    while ((p = next_line(p, line, sizeof line))) {
        if (!strstr(line, "Mem:")) continue;
        field_slot f[8];
        int n = split_fields(line, f, 8);
        if (n < 4) return;
        for (int i = 1; i < n && i <= 6; ++i)
            copy_text(out[i - 1], 32, f[i]);
        return;
    }
}

int parse_df(const char* text, disk_row* rows, int max_rows) {
    int count = 0;
    char line[wide_line];
    const char* p = next_line(text, line, sizeof line); // column header
    while (p && count < max_rows && (p = next_line(p, line, sizeof line))) {
        char* t = trim(line);
        if (!*t) continue;
        field_slot f[8];
        if (split_fields(t, f, 8) < 6) continue;
        disk_row& r = rows[count++];
        memset(&r, 0, sizeof r);
        copy_text(r.filesystem, f[0]);
        copy_text(r.size, f[1]);
        copy_text(r.used, f[2]);
        copy_text(r.available, f[3]);
        copy_text(r.percent, f[4]);
        copy_text(r.mount, f[5]);
    }
    return count;
}

} // namespace tarvona_diag
