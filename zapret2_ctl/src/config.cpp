#include "config.h"

#include "log.h"

#include <cstring>

namespace zapret2_ctl {

heap_text dup_string(const char* text) {
    if (!text) return nullptr;
    heap_text copy(strdup(text));
    if (!copy) log_error("Memory allocation failed in strdup");
    return copy;
}

void config_free(zapret2_config& cfg) {
    cfg = zapret2_config{};
}

void config_set_defaults(zapret2_config& cfg) {
    if (cfg.ws_user || cfg.autohostlist_file || !cfg.strategies.empty() || !cfg.hostlists.empty() ||
        !cfg.blobs.empty() || !cfg.luascripts.empty())
        config_free(cfg);
    cfg.enabled = true;
    cfg.debug = false;
    cfg.qnum = default_qnum;
    cfg.desync_mark = default_desync_mark;
    cfg.ws_user = dup_string(default_ws_user);
    cfg.autohostlist_enabled = false;
    cfg.autohostlist_file = dup_string(default_autohostlist_file);
    cfg.autohostlist_fail_threshold = default_autohostlist_fail_threshold;
    cfg.autohostlist_fail_time = default_autohostlist_fail_time;
    cfg.autohostlist_retrans_threshold = default_autohostlist_retrans_threshold;
    cfg.autohostlist_debuglog = false;
}

int config_count_enabled(const zapret2_config& cfg) {
    int n = 0;
    for (const strategy_entry* s = cfg.strategies.front(); s; s = s->next)
        if (s->enabled) ++n;
    return n;
}

} // namespace zapret2_ctl
