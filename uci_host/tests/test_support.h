// Shared fixtures of the library tests: a scratch directory with a config
// and a save directory, an owned context, a canonical dump of a package,
// changes, export and import in one call, and seeded mutations of texts.
#pragma once

#include "handles.h"
#include "uci.h"

#include <ftw.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
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

// Looks `path` up and makes one change there, as the uci tool's command
// `what` would: "set", "add_list", "del_list", "delete" or "rename".
// The look-up's code when it fails; -1 for another word.
inline int run_change(uci_context* ctx, const std::string& what, const std::string& path) {
    uci_ptr ptr{};
    std::string buf;
    int rc = lookup(ctx, ptr, buf, path);
    if (rc != UCI_OK) return rc;
    if (what == "set") return uci_set(ctx, &ptr);
    if (what == "add_list") return uci_add_list(ctx, &ptr);
    if (what == "del_list") return uci_del_list(ctx, &ptr);
    if (what == "delete") return uci_delete(ctx, &ptr);
    if (what == "rename") return uci_rename(ctx, &ptr);
    return -1;
}

// The package as uci_export writes it.
inline std::string export_text(uci_context* ctx, uci_package* p, bool header = false) {
    char* buf = nullptr;
    std::size_t len = 0;
    FILE* mem = open_memstream(&buf, &len);
    EXPECT_NE(mem, nullptr);
    if (!mem) return "";
    EXPECT_EQ(uci_export(ctx, mem, p, header), UCI_OK);
    EXPECT_EQ(std::fclose(mem), 0) << "the export is complete";
    std::string out(buf, len);
    std::free(buf);
    return out;
}

// uci_import of `text`, read from an in-memory stream.
inline int import_text(uci_context* ctx, const std::string& text, const char* name, uci_package** p,
                       bool single) {
    FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    if (!in) in = std::tmpfile(); // fmemopen refuses an empty buffer on some libcs
    EXPECT_NE(in, nullptr);
    if (!in) return -1;
    int rc = uci_import(ctx, in, name, p, single);
    EXPECT_EQ(std::fclose(in), 0);
    return rc;
}

// ---- seeded mutations, for the tests that feed the readers random input ----

constexpr unsigned fuzz_seed = 20261209;

// The text with one to six random edits: bytes inserted, deleted, replaced,
// runs repeated, the end cut off; the bytes come from the readers' syntax.
inline std::string mutate(std::mt19937& rng, std::string text) {
    static const char alphabet[] = "'\"\\#; \t\n\r=.@[]-_cfgoptionlist0123456789abcxyz\x01\x7f\xc3";
    auto pick = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
    };
    int edits = 1 + static_cast<int>(pick(6));
    for (int i = 0; i < edits; i++) {
        std::size_t at = text.empty() ? 0 : pick(text.size() + 1);
        switch (pick(5)) {
        case 0: // insert a byte
            text.insert(at, 1, alphabet[pick(sizeof alphabet - 1)]);
            break;
        case 1: // delete a run
            if (!text.empty() && at < text.size()) text.erase(at, 1 + pick(8));
            break;
        case 2: // replace a byte
            if (at < text.size()) text[at] = alphabet[pick(sizeof alphabet - 1)];
            break;
        case 3: // repeat a run
            if (at < text.size()) text.insert(at, text.substr(at, 1 + pick(16)));
            break;
        default: // cut the text short
            text.resize(at);
        }
    }
    return text;
}

} // namespace uci_host::test
