// uci: command-line access to the configuration store, for tests, the
// sandbox and the demo (the router brings its own tool).
//
//   uci [-c confdir] [-p deltadir] [-P savedir] [-q] [-X] [-N] [-n] [-S] [-m]
//       [-f file] [-d delim] <command> [arguments]
#include "handles.h"
#include "uci.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace uci_host::cli {

namespace {

struct cli_options {
    bool quiet = false;
    bool extended_show = true; // anonymous sections shown as @type[n]
    bool merge = false;
    const char* input = nullptr;
    const char* delimiter = " ";
};

constexpr int exit_usage = 255;

using uci_host::context_ptr;
using uci_host::file_ptr;

void usage() {
    std::fputs("Usage: uci [<options>] <command> [<arguments>]\n\n"
               "Commands:\n"
               "\texport     [<config>]\n"
               "\timport     [<config>]\n"
               "\tchanges    [<config>]\n"
               "\tcommit     [<config>]\n"
               "\tadd        <config> <section-type>\n"
               "\tadd_list   <config>.<section>.<option>=<string>\n"
               "\tdel_list   <config>.<section>.<option>=<string>\n"
               "\tshow       [<config>[.<section>[.<option>]]]\n"
               "\tget        <config>.<section>[.<option>]\n"
               "\tset        <config>.<section>[.<option>]=<value>\n"
               "\tdelete     <config>[.<section>[[.<option>][=<id>]]]\n"
               "\trename     <config>.<section>[.<option>]=<name>\n"
               "\trevert     <config>[.<section>[.<option>]]\n"
               "\treorder    <config>.<section>=<position>\n\n"
               "Options:\n"
               "\t-c <path>  set the search path for config files (default: /etc/config)\n"
               "\t-d <str>   set the delimiter for list values in uci show\n"
               "\t-f <file>  use <file> as input instead of stdin\n"
               "\t-m         when importing, merge data into an existing package\n"
               "\t-n         name unnamed sections on export\n"
               "\t-N         don't name unnamed sections\n"
               "\t-p <path>  add a search path for config change files\n"
               "\t-P <path>  add a search path for config change files and use as default\n"
               "\t-q         quiet mode (don't print error messages)\n"
               "\t-s         force strict mode (stop on parser errors, default)\n"
               "\t-S         disable strict mode\n"
               "\t-X         do not use extended syntax on 'show'\n",
               stderr);
}

class cli_runner {
  public:
    cli_runner(uci_context* ctx, const cli_options& opt) : ctx_(ctx), opt_(opt) {}

    int run(int argc, char** argv);

  private:
    uci_context* ctx_;
    const cli_options& opt_;

    int error() {
        if (!opt_.quiet) uci_perror(ctx_, "uci");
        return 1;
    }

    // The package named on the command line, or every package.
    std::vector<std::string> targets(int argc, char** argv) {
        if (argc > 0) return {argv[0]};
        return configs();
    }

    std::vector<std::string> configs() {
        std::vector<std::string> out;
        char** list = nullptr;
        if (uci_list_configs(ctx_, &list) != UCI_OK || !list) return out;
        for (char** p = list; *p; p++)
            out.emplace_back(*p);
        std::free(list);
        return out;
    }

    // The package (loaded when needed), or nullptr with the error printed.
    uci_package* package(const char* name) {
        if (uci_package* p = uci_lookup_package(ctx_, name)) return p;
        uci_package* p = nullptr;
        if (uci_load(ctx_, name, &p) != UCI_OK) {
            error();
            return nullptr;
        }
        return p;
    }

    std::string section_label(uci_section* s) {
        if (!s->anonymous || !opt_.extended_show) return s->e.name;
        int idx = 0;
        uci_element* e;
        uci_foreach_element(&s->package->sections, e) {
            uci_section* other = uci_to_section(e);
            if (other == s) break;
            if (std::strcmp(other->type, s->type) == 0) idx++;
        }
        return std::string("@") + s->type + "[" + std::to_string(idx) + "]";
    }

    static void print_quoted(const char* v) {
        std::fputc('\'', stdout);
        for (; *v; v++) {
            if (*v == '\'')
                std::fputs("'\\''", stdout);
            else
                std::fputc(*v, stdout);
        }
        std::fputc('\'', stdout);
    }

    void show_option(uci_option* o, const std::string& prefix) {
        std::printf("%s.%s=", prefix.c_str(), o->e.name);
        if (o->type == UCI_TYPE_STRING) {
            print_quoted(o->v.string);
        } else {
            bool first = true;
            uci_element* e;
            uci_foreach_element(&o->v.list, e) {
                if (!first) std::fputc(' ', stdout);
                print_quoted(e->name);
                first = false;
            }
        }
        std::fputc('\n', stdout);
    }

    void show_section(uci_section* s) {
        std::string prefix = std::string(s->package->e.name) + "." + section_label(s);
        std::printf("%s=%s\n", prefix.c_str(), s->type);
        uci_element* e;
        uci_foreach_element(&s->options, e) show_option(uci_to_option(e), prefix);
    }

    void show_package(uci_package* p) {
        uci_element* e;
        uci_foreach_element(&p->sections, e) show_section(uci_to_section(e));
    }

    // Looks a path up; prints the error and returns false when that fails.
    bool lookup(uci_ptr& ptr, std::string& buf, const char* arg) {
        buf = arg;
        if (uci_lookup_ptr(ctx_, &ptr, buf.data(), true) != UCI_OK) {
            error();
            return false;
        }
        return true;
    }

    int not_found() {
        ctx_->err = UCI_ERR_NOTFOUND;
        return error();
    }

    int invalid() {
        ctx_->err = UCI_ERR_INVAL;
        return error();
    }

    int save(uci_package* p) { return uci_save(ctx_, p) == UCI_OK ? 0 : error(); }

    int cmd_show(int argc, char** argv);
    int cmd_get(char* arg);
    int cmd_change(const char* cmd, char* arg);
    int cmd_add(const char* pkg, const char* type);
    int cmd_changes(int argc, char** argv);
    int cmd_commit(int argc, char** argv);
    int cmd_export(int argc, char** argv);
    int cmd_import(int argc, char** argv);
    int cmd_revert(char* arg);
    int cmd_reorder(char* arg);
};

int cli_runner::cmd_show(int argc, char** argv) {
    if (argc == 0) {
        for (const std::string& name : configs()) {
            uci_package* p = package(name.c_str());
            if (!p) return 1;
            show_package(p);
        }
        return 0;
    }
    uci_ptr ptr{};
    std::string buf;
    if (!lookup(ptr, buf, argv[0])) return 1;
    if (!(ptr.flags & uci_ptr::UCI_LOOKUP_COMPLETE)) return not_found();
    if (ptr.o)
        show_option(ptr.o, std::string(ptr.p->e.name) + "." + section_label(ptr.s));
    else if (ptr.s)
        show_section(ptr.s);
    else
        show_package(ptr.p);
    return 0;
}

int cli_runner::cmd_get(char* arg) {
    uci_ptr ptr{};
    std::string buf;
    if (!lookup(ptr, buf, arg)) return 1;
    if (!(ptr.flags & uci_ptr::UCI_LOOKUP_COMPLETE)) return not_found();
    if (ptr.o) {
        if (ptr.o->type == UCI_TYPE_STRING) {
            std::printf("%s\n", ptr.o->v.string);
        } else {
            bool first = true;
            uci_element* e;
            uci_foreach_element(&ptr.o->v.list, e) {
                std::printf("%s%s", first ? "" : opt_.delimiter, e->name);
                first = false;
            }
            std::fputc('\n', stdout);
        }
    } else if (ptr.s) {
        std::printf("%s\n", ptr.s->type);
    } else {
        return invalid();
    }
    return 0;
}

// set, add_list, del_list, delete, rename: one path argument, then save.
int cli_runner::cmd_change(const char* cmd, char* arg) {
    uci_ptr ptr{};
    std::string buf;
    if (!lookup(ptr, buf, arg)) return 1;
    int rc;
    if (std::strcmp(cmd, "set") == 0) {
        if (!ptr.value) return invalid();
        rc = uci_set(ctx_, &ptr);
    } else if (std::strcmp(cmd, "add_list") == 0) {
        if (!ptr.value || !ptr.option) return invalid();
        rc = uci_add_list(ctx_, &ptr);
    } else if (std::strcmp(cmd, "del_list") == 0) {
        if (!ptr.value || !ptr.option) return invalid();
        rc = uci_del_list(ctx_, &ptr);
    } else if (std::strcmp(cmd, "rename") == 0) {
        if (!ptr.value) return invalid();
        if (!(ptr.flags & uci_ptr::UCI_LOOKUP_COMPLETE)) return not_found();
        rc = uci_rename(ctx_, &ptr);
    } else {
        rc = uci_delete(ctx_, &ptr);
    }
    if (rc != UCI_OK) return error();
    return save(ptr.p);
}

int cli_runner::cmd_add(const char* pkg, const char* type) {
    uci_package* p = package(pkg);
    if (!p) return 1;
    uci_section* s = nullptr;
    if (uci_add_section(ctx_, p, type, &s) != UCI_OK) return error();
    if (save(p) != 0) return 1;
    std::printf("%s\n", s->e.name);
    return 0;
}

int cli_runner::cmd_changes(int argc, char** argv) {
    for (const std::string& name : targets(argc, argv)) {
        uci_package* p = package(name.c_str());
        if (!p) return 1;
        uci_element* e;
        uci_foreach_element(&p->saved_delta, e) {
            uci_delta* d = uci_to_delta(e);
            const char* prefix = d->cmd == UCI_CMD_REMOVE ? "-" : "";
            const char* op = d->cmd == UCI_CMD_LIST_ADD   ? "+="
                             : d->cmd == UCI_CMD_LIST_DEL ? "-="
                                                          : "=";
            std::printf("%s%s.%s", prefix, p->e.name, d->section);
            if (d->e.name) std::printf(".%s", d->e.name);
            if (d->value) {
                std::fputs(op, stdout);
                print_quoted(d->value);
            }
            std::fputc('\n', stdout);
        }
    }
    return 0;
}

int cli_runner::cmd_commit(int argc, char** argv) {
    int rc = 0;
    for (const std::string& name : targets(argc, argv)) {
        uci_package* p = package(name.c_str());
        if (!p) return 1;
        if (uci_commit(ctx_, &p, false) != UCI_OK) rc = error();
    }
    return rc;
}

int cli_runner::cmd_export(int argc, char** argv) {
    for (const std::string& name : targets(argc, argv)) {
        uci_package* p = package(name.c_str());
        if (!p) return 1;
        if (uci_export(ctx_, stdout, p, true) != UCI_OK) return error();
    }
    return 0;
}

// Without -m the imported packages replace the files at once.
int cli_runner::cmd_import(int argc, char** argv) {
    const char* name = argc > 0 ? argv[0] : nullptr;
    if (opt_.merge && !name) return exit_usage;
    file_ptr owned;
    FILE* in = stdin;
    if (opt_.input) {
        owned.reset(std::fopen(opt_.input, "r"));
        if (!owned) {
            ctx_->err = UCI_ERR_IO;
            return error();
        }
        in = owned.get();
    }
    uci_package* p = nullptr;
    if (opt_.merge && uci_load(ctx_, name, &p) != UCI_OK) p = nullptr;
    bool merging = p != nullptr;
    if (uci_import(ctx_, in, name, &p, name != nullptr) != UCI_OK) return error();
    if (merging) return save(p);
    uci_element *e, *tmp;
    uci_foreach_element_safe(&ctx_->root, tmp, e) {
        uci_package* pkg = uci_to_package(e);
        if (uci_commit(ctx_, &pkg, true) != UCI_OK) return error();
    }
    return 0;
}

int cli_runner::cmd_revert(char* arg) {
    uci_ptr ptr{};
    std::string buf;
    if (!lookup(ptr, buf, arg)) return 1;
    return uci_revert(ctx_, &ptr) == UCI_OK ? 0 : error();
}

int cli_runner::cmd_reorder(char* arg) {
    uci_ptr ptr{};
    std::string buf;
    if (!lookup(ptr, buf, arg)) return 1;
    if (!ptr.s || ptr.option || !ptr.value) return not_found();
    char* end = nullptr;
    long pos = std::strtol(ptr.value, &end, 10);
    if (end == ptr.value || *end || pos < 0) return invalid();
    if (uci_reorder_section(ctx_, ptr.s, static_cast<int>(pos)) != UCI_OK) return error();
    return save(ptr.p);
}

int cli_runner::run(int argc, char** argv) {
    if (argc < 1) return exit_usage;
    const char* cmd = argv[0];
    argc--;
    argv++;
    auto want = [&](int lo, int hi) { return argc >= lo && argc <= hi; };

    if (std::strcmp(cmd, "show") == 0 && want(0, 1)) return cmd_show(argc, argv);
    if (std::strcmp(cmd, "get") == 0 && want(1, 1)) return cmd_get(argv[0]);
    if ((std::strcmp(cmd, "set") == 0 || std::strcmp(cmd, "add_list") == 0 ||
         std::strcmp(cmd, "del_list") == 0 || std::strcmp(cmd, "delete") == 0 ||
         std::strcmp(cmd, "rename") == 0) &&
        want(1, 1))
        return cmd_change(cmd, argv[0]);
    if (std::strcmp(cmd, "add") == 0 && want(2, 2)) return cmd_add(argv[0], argv[1]);
    if (std::strcmp(cmd, "changes") == 0 && want(0, 1)) return cmd_changes(argc, argv);
    if (std::strcmp(cmd, "commit") == 0 && want(0, 1)) return cmd_commit(argc, argv);
    if (std::strcmp(cmd, "export") == 0 && want(0, 1)) return cmd_export(argc, argv);
    if (std::strcmp(cmd, "import") == 0 && want(0, 1)) return cmd_import(argc, argv);
    if (std::strcmp(cmd, "revert") == 0 && want(1, 1)) return cmd_revert(argv[0]);
    if (std::strcmp(cmd, "reorder") == 0 && want(1, 1)) return cmd_reorder(argv[0]);
    return exit_usage;
}

void set_flag(uci_context* ctx, uci_flags flag, bool on) {
    ctx->flags = static_cast<uci_flags>(on ? ctx->flags | flag : ctx->flags & ~flag);
}

} // namespace

int main(int argc, char** argv) {
    context_ptr ctx(uci_alloc_context());
    if (!ctx) {
        std::fputs("Out of memory\n", stderr);
        return 1;
    }
    cli_options opt;
    int c;
    while ((c = getopt(argc, argv, "c:d:f:mnNp:P:qsSX")) != -1) {
        switch (c) {
        case 'c':
            uci_set_confdir(ctx.get(), optarg);
            break;
        case 'd':
            opt.delimiter = optarg;
            break;
        case 'f':
            opt.input = optarg;
            break;
        case 'm':
            opt.merge = true;
            break;
        case 'n':
            set_flag(ctx.get(), UCI_FLAG_EXPORT_NAME, true);
            break;
        case 'N':
            set_flag(ctx.get(), UCI_FLAG_EXPORT_NAME, false);
            break;
        case 'p':
            uci_add_delta_path(ctx.get(), optarg);
            break;
        case 'P':
            uci_add_delta_path(ctx.get(), ctx->savedir);
            uci_set_savedir(ctx.get(), optarg);
            break;
        case 'q':
            opt.quiet = true;
            break;
        case 's':
            set_flag(ctx.get(), UCI_FLAG_STRICT, true);
            break;
        case 'S':
            set_flag(ctx.get(), UCI_FLAG_STRICT, false);
            break;
        case 'X':
            opt.extended_show = false;
            break;
        default:
            usage();
            return exit_usage;
        }
    }
    cli_runner cli(ctx.get(), opt);
    int rc = cli.run(argc - optind, argv + optind);
    if (rc == exit_usage) usage();
    return rc;
}

} // namespace uci_host::cli

int main(int argc, char** argv) {
    return uci_host::cli::main(argc, argv);
}
