#include "dump.h"

#include "daemon_probe.h"
#include "log.h"
#include "paths.h"

#include <cerrno>
#include <cstring>

namespace zapret2_ctl {

void json_write_string(std::FILE* out, const char* text) {
    if (!text) {
        std::fputs("null", out);
        return;
    }
    std::fputc('"', out);
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        switch (*p) {
        case '"':
            std::fputs("\\\"", out);
            break;
        case '\\':
            std::fputs("\\\\", out);
            break;
        case '\n':
            std::fputs("\\n", out);
            break;
        case '\r':
            std::fputs("\\r", out);
            break;
        case '\t':
            std::fputs("\\t", out);
            break;
        default:
            if (*p < 0x20)
                std::fprintf(out, "\\u%04x", *p);
            else
                std::fputc(*p, out);
        }
    }
    std::fputc('"', out);
}

namespace {

const char* bool_word(bool b) {
    return b ? "true" : "false";
}

// "<indent>"key": S(value)<tail>"
void member_text(std::FILE* out, const char* key, const char* value, const char* tail) {
    std::fprintf(out, "      \"%s\": ", key);
    json_write_string(out, value);
    std::fputs(tail, out);
}

void strategy_members(std::FILE* out, const strategy_entry& s) {
    member_text(out, "name", s.name.get(), ",\n");
    std::fprintf(out, "      \"enabled\": %s,\n", bool_word(s.enabled));
    member_text(out, "port", s.port.get(), ",\n");
    member_text(out, "protocols", s.protocols.get(), ",\n");
    member_text(out, "filter_l7", s.filter_l7.get(), ",\n");
    member_text(out, "hostlists", s.hostlists.get(), ",\n");
    member_text(out, "hostlist_exclude", s.hostlist_exclude.get(), ",\n");
    member_text(out, "script", s.script.get(), "\n");
}

void hostlist_members(std::FILE* out, const hostlist_entry& h) {
    member_text(out, "name", h.name.get(), ",\n");
    member_text(out, "path", h.path.get(), "\n");
}

void file_members(std::FILE* out, const file_entry& f) {
    member_text(out, "name", f.name.get(), ",\n");
    member_text(out, "path", f.path.get(), ",\n");
    std::fprintf(out, "      \"enabled\": %s\n", bool_word(f.enabled));
}

template <class entry, class write_members>
void write_array(std::FILE* out, const char* opening, const entry_list<entry>& list,
                 const char* closing, write_members members) {
    std::fputs(opening, out);
    bool first = true;
    for (const entry* e = list.front(); e; e = e->next) {
        if (!first) std::fputc(',', out);
        std::fputs("\n    {\n", out);
        members(out, *e);
        std::fputs("    }", out);
        first = false;
    }
    if (!first) std::fputs("\n  ", out);
    std::fputs(closing, out);
}

} // namespace

void write_dump(std::FILE* out, const zapret2_config& cfg, int instances, int first_pid) {
    std::fputs("{\n", out);
    std::fprintf(out, "  \"version\": \"%s\",\n", version_string);
    std::fputs("  \"config\": {\n", out);
    std::fprintf(out, "    \"enabled\": %s,\n", bool_word(cfg.enabled));
    std::fprintf(out, "    \"debug\": %s,\n", bool_word(cfg.debug));
    std::fprintf(out, "    \"qnum\": %d,\n", cfg.qnum);
    std::fprintf(out, "    \"desync_mark\": \"0x%08x\",\n", cfg.desync_mark);
    std::fputs("    \"ws_user\": ", out);
    json_write_string(out, cfg.ws_user.get());
    std::fputs(",\n", out);
    std::fputs("    \"autohostlist\": {\n", out);
    std::fprintf(out, "      \"enabled\": %s,\n", bool_word(cfg.autohostlist_enabled));
    member_text(out, "file", cfg.autohostlist_file.get(), ",\n");
    std::fprintf(out, "      \"fail_threshold\": %d,\n", cfg.autohostlist_fail_threshold);
    std::fprintf(out, "      \"fail_time\": %d,\n", cfg.autohostlist_fail_time);
    std::fprintf(out, "      \"retrans_threshold\": %d,\n", cfg.autohostlist_retrans_threshold);
    std::fprintf(out, "      \"debuglog\": %s\n", bool_word(cfg.autohostlist_debuglog));
    std::fputs("    }\n", out);
    std::fputs("  },\n", out);

    std::fputs("  \"daemon\": {\n", out);
    std::fprintf(out, "    \"running\": %s,\n", bool_word(instances > 0));
    std::fprintf(out, "    \"instances\": %d,\n", instances);
    std::fprintf(out, "    \"pid\": %d\n", first_pid);
    std::fputs("  },\n", out);

    write_array(out, "  \"strategies\": [", cfg.strategies, "],\n", strategy_members);
    write_array(out, "  \"hostlists\": [", cfg.hostlists, "],\n", hostlist_members);
    write_array(out, "  \"blobs\": [", cfg.blobs, "],\n", file_members);
    write_array(out, "  \"luascripts\": [", cfg.luascripts, "]\n", file_members);
    std::fputs("}\n", out);
}

bool write_dump_out(std::FILE* out, const zapret2_config& cfg, int instances, int first_pid) {
    write_dump(out, cfg, instances, first_pid);
    // ferror() keeps a failure of any earlier write; fflush() pushes what
    // is still buffered and reports its own.
    return std::fflush(out) == 0 && !std::ferror(out);
}

int cmd_dump(const zapret2_config& cfg) {
    int instances = daemon_count();
    int first_pid = daemon_first_pid();
    errno = 0;
    if (!write_dump_out(stdout, cfg, instances, first_pid)) {
        log_error("Failed to write the configuration dump: %s", std::strerror(errno ? errno : EIO));
        return 1;
    }
    return 0;
}

} // namespace zapret2_ctl
