#include "dispatch.h"

#include "commands.h"
#include "config_load.h"
#include "dump.h"
#include "log.h"
#include "patch.h"
#include "paths.h"

#include <cstdio>
#include <cstring>
#include <getopt.h>

namespace zapret2_ctl {

void print_usage(const char* prog) {
    std::printf("Usage: %s <command> [options]\n\n", prog);
    static const char* const lines[] = {
        "Commands:",
        "  status      Show daemon status",
        "  genconfig   Generate shell config from UCI",
        "  dump        Dump configuration as JSON with validation",
        "  reset       Reset configuration to defaults",
        "  patch-apply   Apply embedded shell patches (creates .orig backups)",
        "  patch-revert  Revert shell patches (restores .orig files)",
        "\nDaemon management (use init script):",
        "  /etc/init.d/zapret2 start|stop|restart|reload",
        "\nOptions:",
        "  -v, --version  Show version",
        "  -h, --help     Show this help",
    };
    for (const char* line : lines)
        std::puts(line);
}

namespace {

// Commands that work on the loaded configuration.
struct config_command {
    const char* word;
    int (*run)(const zapret2_config&);
};

// genconfig loads the configuration only to validate it: the warnings reach
// the system log, the generator reads UCI itself.
int genconfig_adapter(const zapret2_config&) {
    return cmd_genconfig();
}

const config_command config_commands[] = {
    {"status", cmd_status},
    {"genconfig", genconfig_adapter},
    {"dump", cmd_dump},
};

// Commands that neither load the configuration nor need it.
struct plain_command {
    const char* word;
    int (*run)();
};

const plain_command patch_commands[] = {
    {"patch-apply", cmd_patch_apply},
    {"patch-revert", cmd_patch_revert},
};

int run_command(const char* prog, const char* word) {
    if (std::strcmp(word, "reset") == 0) return cmd_reset();

    for (const plain_command& c : patch_commands) {
        if (std::strcmp(word, c.word) == 0) {
            log_open(true, log_lvl_info);
            int rc = c.run();
            log_close();
            return rc;
        }
    }

    // Only "dump" keeps its messages on the console: its document owns stdout.
    bool is_dump = std::strcmp(word, "dump") == 0;
    log_open(!is_dump, log_lvl_info);
    zapret2_config cfg{};
    char why[log_message_capacity] = "";
    if (config_load(cfg, why, sizeof why) != 0) {
        log_error("Failed to load configuration");
        // The reason reaches the console too: whoever ran the command sees
        // why nothing was done, not only the system log.
        if (!is_dump) std::fprintf(stderr, "%s\n", why);
        config_free(cfg);
        log_close();
        return 1;
    }
    int rc = -1;
    for (const config_command& c : config_commands) {
        if (std::strcmp(word, c.word) == 0) {
            rc = c.run(cfg);
            break;
        }
    }
    if (rc < 0) {
        std::fprintf(stderr, "Unknown command: %s\n", word);
        print_usage(prog);
        rc = 1;
    }
    config_free(cfg);
    log_close();
    return rc;
}

} // namespace

int run(int argc, char** argv) {
    const char* prog = argc > 0 && argv[0] ? argv[0] : "zapret2-ctl";
    static const option long_options[] = {
        {"version", no_argument, nullptr, 'v'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    // The first option decides and ends the program.
    int opt = getopt_long(argc, argv, "vh", long_options, nullptr);
    if (opt == 'v') {
        std::printf("zapret2 version %s\n", version_string);
        return 0;
    }
    if (opt == 'h') {
        print_usage(prog);
        return 0;
    }
    if (opt != -1) {
        print_usage(prog);
        return 1;
    }
    if (optind >= argc) {
        print_usage(prog);
        return 1;
    }
    return run_command(prog, argv[optind]);
}

} // namespace zapret2_ctl
