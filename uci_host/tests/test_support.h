// Shared fixtures of the library tests: a scratch directory with a config
// and a save directory, an owned context, and a canonical dump of a package.
#pragma once

#include "handles.h"
#include "uci.h"

#include <ftw.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace uci_host::test {

using uci_host::context_ptr;

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline bool exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

inline void put(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// A scratch tree: <root>/config and <root>/save.
class scratch_tree {
  public:
    scratch_tree() {
        char tmpl[] = "/tmp/uci_test.XXXXXX";
        root_ = ::mkdtemp(tmpl);
        ::mkdir(conf().c_str(), 0755);
    }
    ~scratch_tree() {
        ::nftw(
            root_.c_str(),
            [](const char* path, const struct stat*, int, FTW*) { return ::remove(path); }, 16,
            FTW_DEPTH | FTW_PHYS);
    }
    std::string conf() const { return root_ + "/config"; }
    std::string save() const { return root_ + "/save"; }
    std::string conf_file(const std::string& pkg) const { return conf() + "/" + pkg; }
    std::string save_file(const std::string& pkg) const { return save() + "/" + pkg; }

    // A context on this tree (the default save directory stays on the
    // delta path, as on the router; test packages use names it never has).
    context_ptr context() const {
        context_ptr ctx(uci_alloc_context());
        EXPECT_EQ(uci_set_confdir(ctx.get(), conf().c_str()), UCI_OK);
        EXPECT_EQ(uci_set_savedir(ctx.get(), save().c_str()), UCI_OK);
        return ctx;
    }

  private:
    std::string root_;
};

// Name of a section as dump() shows it: its own name, or with positional,
// @type[n] for an anonymous one (anonymous names change on every load).
inline std::string label(const uci_section* s, bool positional) {
    if (!s->anonymous || !positional) return s->e.name;
    int idx = 0;
    const uci_element* e;
    uci_foreach_element(&s->package->sections, e) {
        if (e == &s->e) break;
        if (std::string(uci_to_section(e)->type) == s->type) idx++;
    }
    return std::string("@") + s->type + "[" + std::to_string(idx) + "]";
}

// One line per section and option:
//   name=type            (" anon" appended for anonymous sections)
//   name.opt='value'
//   name.opt=['a','b']
inline std::string dump(const uci_package* p, bool positional = false) {
    std::string out;
    const uci_element* se;
    uci_foreach_element(&p->sections, se) {
        const uci_section* s = uci_to_section(se);
        std::string name = label(s, positional);
        out += name + "=" + s->type + (s->anonymous && !positional ? " anon" : "") + "\n";
        const uci_element* oe;
        uci_foreach_element(&s->options, oe) {
            const uci_option* o = uci_to_option(oe);
            out += name + "." + o->e.name + "=";
            if (o->type == UCI_TYPE_STRING) {
                out += "'" + std::string(o->v.string) + "'";
            } else {
                out += "[";
                const uci_element* it;
                bool first = true;
                uci_foreach_element(&o->v.list, it) {
                    out += (first ? "'" : ",'") + std::string(it->name) + "'";
                    first = false;
                }
                out += "]";
            }
            out += "\n";
        }
    }
    return out;
}

inline std::size_t list_count_of(const uci_list* head) {
    std::size_t n = 0;
    for (const uci_list* l = head->next; l != head; l = l->next)
        n++;
    return n;
}

// Looks `path` up (extended syntax); the buffer must outlive the ptr.
inline int lookup(uci_context* ctx, uci_ptr& ptr, std::string& buf, const std::string& path) {
    buf = path;
    return uci_lookup_ptr(ctx, &ptr, buf.data(), true);
}

} // namespace uci_host::test
