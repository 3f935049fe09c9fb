#include "catalogue.h"

#include "handles.h"
#include "text.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fnmatch.h>
#include <strings.h>
#include <unistd.h>

namespace korvel {

namespace {

constexpr int line_capacity = 256; // 255 characters and the terminator

bool skipped_line(const char* line) {
    return line[0] == '\0' || line[0] == '#';
}

} // namespace

bool parse_catalogue_line(const char* line, modem_entry& e) {
    if (skipped_line(line)) return false;
    std::memset(&e, 0, sizeof e);
    int n = std::sscanf(line, "%63[^;];%63[^;];%31[^;];%31[^;];%63[^;];%63[^;];%31[^;]", e.pattern,
                        e.model, e.mode, e.sms_init, e.at_port, e.sms_port, e.init_flag);
    if (n < 6) return false;
    if (n < 7) e.init_flag[0] = '\0';
    for (char* f : {e.pattern, e.model, e.mode, e.sms_init, e.at_port, e.sms_port, e.init_flag})
        trim_blanks(f);
    return true;
}

bool entry_matches(const modem_entry& e, const char* usb_id) {
    return fnmatch(e.pattern, usb_id, 0) == 0;
}

void apply_entry(const modem_entry& e, modem_state& st) {
    copy_text(st.model, e.model);
    copy_text(st.at_port, e.at_port);
    copy_text(st.sms_port, e.sms_port);
    copy_text(st.sms_init, e.sms_init);
    if (std::strcmp(e.mode, "HILINK") == 0) st.hilink = true;
    if (std::strcmp(e.mode, "NCM") == 0) st.ncm = true;
    if (std::strcmp(e.mode, "XMM") == 0) st.xmm = true;
    if (std::strcmp(e.mode, "MBIM") == 0) st.mbim = true;
    if (std::strcmp(e.mode, "MDM") == 0) st.mdm = true;
    if (strcasecmp(e.init_flag, "init") == 0) st.bind_at_add = true;
    if (strcasecmp(e.init_flag, "init0") == 0) st.rebind_at_setup = true;
    std::snprintf(st.choice, sizeof st.choice, "catalogue line %s", e.pattern);
}

bool parse_apn_line(const char* line, char (&code)[32], char (&apn)[64]) {
    if (skipped_line(line)) return false;
    code[0] = apn[0] = '\0';
    if (std::sscanf(line, "%31[^;];%63[^;]", code, apn) != 2) return false;
    trim_blanks(code);
    trim_blanks(apn);
    return true;
}

bool lookup_modem(modem_state& st, const char* usb_id, const char* path) {
    file_handle f(std::fopen(path, "re"));
    if (!f) return false;
    char line[line_capacity];
    modem_entry e;
    while (std::fgets(line, sizeof line, f.get())) {
        cut_line_end(line);
        if (!parse_catalogue_line(line, e)) continue;
        if (!entry_matches(e, usb_id)) continue;
        apply_entry(e, st);
        return true;
    }
    return false;
}

bool apn_for_operator(const char* code, char* apn, std::size_t cap, const char* path) {
    copy_text(apn, cap, "");
    file_handle f(std::fopen(path, "re"));
    if (!f) return false;
    char line[line_capacity];
    char line_code[32];
    char line_apn[64];
    while (std::fgets(line, sizeof line, f.get())) {
        cut_line_end(line);
        if (!parse_apn_line(line, line_code, line_apn)) continue;
        if (std::strcmp(line_code, code) != 0) continue;
        copy_text(apn, cap, line_apn);
        return true;
    }
    return false;
}

void load_at_commands(modem_state& st, const char* dir) {
    st.ati_text[0] = '\0';
    char path[128];
    std::snprintf(path, sizeof path, "%s/%s.ati", dir, st.model);
    unique_fd fd(open(path, O_RDONLY | O_CLOEXEC));
    if (!fd) return;
    ssize_t n = read(fd.get(), st.ati_text, sizeof st.ati_text - 1);
    st.ati_text[n > 0 ? n : 0] = '\0';
}

} // namespace korvel
