#include "config_dump.h"

#include <uci.h>

#include <cstdio>
#include <cstring>

#include "handles.h"

namespace tarvona_diag {

namespace {

// Appends to a fixed buffer; what no longer fits is lost.
class dump_writer {
  public:
    dump_writer(char* dst, size_t cap) : dst_(dst), cap_(cap) { dst_[0] = '\0'; }
    void add(const char* fmt, const char* a, const char* b = nullptr, const char* c = nullptr) {
        if (len_ >= cap_ - 1) return;
        int n = snprintf(dst_ + len_, cap_ - len_, fmt, a, b, c);
        if (n < 0) return;
        len_ += static_cast<size_t>(n);
        if (len_ > cap_ - 1) len_ = cap_ - 1;
    }

  private:
    char* dst_;
    size_t cap_;
    size_t len_ = 0;
};

} // namespace

int dump_uci_config(const char* package, char* dst, size_t cap, section_filter filter,
                    const char* confdir) {
    if (!package || !dst || cap == 0) return -1;
    uci_handle uci(confdir);
    uci_package* pkg = uci.load(package);
    if (!pkg) return -1;

    dump_writer out(dst, cap);
    uci_element* se;
    uci_foreach_element(&pkg->sections, se) {
        uci_section* s = uci_to_section(se);
        if (filter && filter(uci.get(), s)) continue;
        if (s->anonymous)
            out.add("config %s\n", s->type);
        else
            out.add("config %s '%s'\n", s->type, se->name);

        uci_element* oe;
        uci_foreach_element(&s->options, oe) {
            uci_option* o = uci_to_option(oe);
            if (o->type == UCI_TYPE_STRING) {
                out.add("\toption %s '%s'\n", oe->name, o->v.string);
            } else {
                uci_element* item;
                uci_foreach_element(&o->v.list, item)
                    out.add("\tlist %s '%s'\n", oe->name, item->name);
            }
        }
    }
    return 0;
}

bool firewall_name_hidden(const char* name) {
    return strcmp(name, "lan") == 0 || strcmp(name, "wan") == 0 || strncmp(name, "Allow", 5) == 0;
}

bool firewall_section_hidden(uci_context* ctx, uci_section* s) {
    if (strcmp(s->type, "defaults") == 0) return true;
    const char* name = uci_lookup_option_string(ctx, s, "name");
    if (!name || !*name) name = s->e.name;
    return name && firewall_name_hidden(name);
}

bool dhcp_section_hidden(uci_context*, uci_section* s) {
    return strcmp(s->type, "odhcpd") == 0;
}

bool zapret2_section_hidden(uci_context* ctx, uci_section* s) {
    const char* enabled = uci_lookup_option_string(ctx, s, "enabled");
    return enabled && strcmp(enabled, "0") == 0;
}

} // namespace tarvona_diag
