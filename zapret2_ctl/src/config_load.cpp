#include "config_load.h"

#include "handles.h"
#include "log.h"
#include "value_rules.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <uci.h>

namespace zapret2_ctl {

namespace {

constexpr const char* package_name = "zapret2";
constexpr std::size_t config_path_capacity = 4096;

uci_option* find_option(uci_section* s, const char* name) {
    if (!s || !s->package || !s->package->ctx) return nullptr;
    return uci_lookup_option(s->package->ctx, s, name);
}

// The option's text when it holds a single value; null when missing or a list.
// Borrowed from the UCI context.
const char* opt_string(uci_section* s, const char* name) {
    uci_option* o = find_option(s, name);
    if (!o || o->type != UCI_TYPE_STRING) return nullptr;
    return o->v.string;
}

// A list option's items as a range of const char* (each item's text is the
// element's name).
class uci_items {
  public:
    explicit uci_items(uci_list* list) : list_(list) {}
    class iterator {
      public:
        explicit iterator(uci_list* at) : at_(at) {}
        const char* operator*() const { return list_to_element(at_)->name; }
        iterator& operator++() {
            at_ = at_->next;
            return *this;
        }
        bool operator!=(const iterator& o) const { return at_ != o.at_; }

      private:
        uci_list* at_;
    };
    iterator begin() const { return iterator(list_->next); }
    iterator end() const { return iterator(list_); }

  private:
    uci_list* list_;
};

// A list option counts as missing, like in opt_string.
bool opt_bool(uci_section* s, const char* name, bool def) {
    const char* text = opt_string(s, name);
    return text ? bool_rule(text) : def;
}

int32_t opt_int(uci_section* s, const char* name, int32_t def, int32_t min, int32_t max) {
    return int_rule(name, opt_string(s, name), def, min, max);
}

heap_text opt_list_joined(uci_section* s, const char* name) {
    uci_option* o = find_option(s, name);
    if (!o) return nullptr;
    if (o->type == UCI_TYPE_STRING) return dup_string(o->v.string);
    if (o->type == UCI_TYPE_LIST) return join_list(name, uci_items(&o->v.list));
    return nullptr;
}

const char* section_name(uci_section* s) {
    return s->e.name ? s->e.name : "(unnamed)";
}

// ws_user and autohostlist_file: a present option replaces the earlier value.
void replace_text(heap_text& field, uci_section* s, const char* option) {
    const char* text = opt_string(s, option);
    if (!text) return;
    heap_text copy = dup_string(text);
    if (!copy) {
        log_warn("Failed to allocate %s, keeping default", option);
        return;
    }
    field = std::move(copy);
}

void read_main_section(zapret2_config& cfg, uci_section* s) {
    cfg.enabled = opt_bool(s, "enabled", true);
    cfg.debug = opt_bool(s, "debug", false);
    cfg.qnum = opt_int(s, "qnum", default_qnum, 0, 65535);
    if (const char* mark = opt_string(s, "desync_mark")) mark_rule(mark, &cfg.desync_mark);
    replace_text(cfg.ws_user, s, "ws_user");
    cfg.autohostlist_enabled = opt_bool(s, "autohostlist_enabled", false);
    replace_text(cfg.autohostlist_file, s, "autohostlist_file");
    cfg.autohostlist_fail_threshold =
        opt_int(s, "autohostlist_fail_threshold", default_autohostlist_fail_threshold, 1, 100);
    cfg.autohostlist_fail_time =
        opt_int(s, "autohostlist_fail_time", default_autohostlist_fail_time, 1, 3600);
    cfg.autohostlist_retrans_threshold = opt_int(s, "autohostlist_retrans_threshold",
                                                 default_autohostlist_retrans_threshold, 1, 100);
    cfg.autohostlist_debuglog = opt_bool(s, "autohostlist_debuglog", false);
}

// A new entry carrying the section's name; null when memory runs out.
template <class entry> std::unique_ptr<entry> new_named_entry(uci_section* s) {
    std::unique_ptr<entry> e(new (std::nothrow) entry{});
    if (!e) return nullptr;
    e->name = dup_string(s->e.name);
    if (!e->name) return nullptr;
    return e;
}

// Sections of type "hostlist"/"list", "blob" and "luascript": a name and a
// path (sections without one are skipped); blobs and luascripts also carry
// an enabled flag.
template <class entry>
void read_path_entry(entry_list<entry>& list, uci_section* s, const char* what) {
    const char* path = opt_string(s, "path");
    if (!path) {
        log_warn("%s '%s' has no path, skipping", what, section_name(s));
        return;
    }
    std::unique_ptr<entry> e = new_named_entry<entry>(s);
    if (!e) return;
    e->path = dup_string(path);
    if constexpr (requires(entry & x) { x.enabled; }) e->enabled = opt_bool(s, "enabled", false);
    list.push_front(e.release());
}

void read_strategy(zapret2_config& cfg, uci_section* s) {
    std::unique_ptr<strategy_entry> e = new_named_entry<strategy_entry>(s);
    if (!e) return;
    e->enabled = opt_bool(s, "enabled", true);
    e->port = dup_string(opt_string(s, "port"));
    if (!e->port) e->port = dup_string(default_strategy_port);
    if (!e->port) {
        log_error("Memory allocation failed for strategy port");
        return;
    }
    e->protocols = opt_list_joined(s, "protocol");
    e->filter_l7 = opt_list_joined(s, "filter_l7");
    e->hostlists = opt_list_joined(s, "hostlist");
    e->hostlist_exclude = opt_list_joined(s, "hostlist_exclude");
    e->script = dup_string(opt_string(s, "script"));
    cfg.strategies.push_back(e.release());
}

// Copies text into why (when given), cut to fit.
void tell(char* why, std::size_t why_size, const char* text) {
    if (why && why_size > 0) std::snprintf(why, why_size, "%s", text);
}

// Reports a package that is there but cannot be loaded: the file, and
// libuci's reason with the parse position ("at line N, byte B").
void report_load_error(uci_context* ctx, const char* path, int rc, char* why,
                       std::size_t why_size) {
    char* uci_text = nullptr;
    uci_get_errorstr(ctx, &uci_text, nullptr);
    heap_text reason(uci_text);
    const char* verb = rc == UCI_ERR_PARSE ? "Cannot parse" : "Cannot read";
    const char* because = reason ? reason.get() : "unknown error";
    log_error("%s %s: %s", verb, path, because);
    if (why && why_size > 0 && std::snprintf(why, why_size, "%s %s: %s", verb, path, because) < 0)
        why[0] = '\0';
}

} // namespace

int config_load_from(zapret2_config& cfg, const char* confdir, char* why, std::size_t why_size) {
    config_set_defaults(cfg);

    uci_session uci;
    if (!uci.ctx()) {
        log_error("Failed to allocate UCI context");
        tell(why, why_size, "Failed to allocate UCI context");
        return 1;
    }
    int rc = uci.load(confdir, package_name);
    uci_package* pkg = uci.package();
    if (rc != UCI_OK || !pkg) {
        char path[config_path_capacity];
        const char* dir = uci.ctx()->confdir ? uci.ctx()->confdir : UCI_CONFDIR;
        std::snprintf(path, sizeof path, "%s/%s", confdir ? confdir : dir, package_name);
        // Only a file that is not there means "use the defaults": one that
        // is there but broken must not be taken for the defaults, which
        // genconfig would then write over the service's configuration.
        struct stat st;
        if (rc == UCI_ERR_NOTFOUND && ::stat(path, &st) != 0 &&
            (errno == ENOENT || errno == ENOTDIR)) {
            log_warn("No zapret2 UCI config found, using defaults");
            return 0;
        }
        report_load_error(uci.ctx(), path, rc, why, why_size);
        return 1;
    }

    uci_element* e;
    uci_foreach_element(&pkg->sections, e) {
        uci_section* s = uci_to_section(e);
        const char* type = s->type ? s->type : "";
        if (std::strcmp(type, "zapret2") == 0)
            read_main_section(cfg, s);
        else if (std::strcmp(type, "hostlist") == 0 || std::strcmp(type, "list") == 0)
            read_path_entry(cfg.hostlists, s, "Hostlist");
        else if (std::strcmp(type, "blob") == 0)
            read_path_entry(cfg.blobs, s, "Blob");
        else if (std::strcmp(type, "luascript") == 0)
            read_path_entry(cfg.luascripts, s, "Luascript");
        else if (std::strcmp(type, "strategy") == 0)
            read_strategy(cfg, s);
    }
    log_info("Loaded %d strategies", config_count_enabled(cfg));
    return 0;
}

int config_load(zapret2_config& cfg, char* why, std::size_t why_size) {
    return config_load_from(cfg, nullptr, why, why_size);
}

} // namespace zapret2_ctl
