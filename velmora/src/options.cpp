#include "options.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <getopt.h>

namespace velmora {

settings g_settings;

int parse_leading_int(const char* text) {
    long v = std::strtol(text, nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

void print_usage(const char* prog) {
    std::fprintf(stderr,
                 "Usage: %s --listen <ip:port> --s1 <ip:port> --s2 <ip:port> "
                 "--session-timeout <ms> --debug <0|1> [--hold-down <s>]\n",
                 prog);
}

bool check_addresses(const char* prog, settings& s) {
    struct row {
        const char* option;
        const std::string& text;
        port_rule rule;
        endpoint& out;
    };
    const row rows[] = {
        {"--listen", s.listen_addr, port_rule::required, s.listen_at},
        {"--s1", s.server1, port_rule::default_53, s.server1_at},
        {"--s2", s.server2, port_rule::default_53, s.server2_at},
    };
    for (const row& r : rows) {
        address_error e = parse_endpoint(r.text, r.rule, r.out);
        if (e != address_error::none) {
            std::fprintf(stderr, "%s: %s '%s': %s\n", prog, r.option, r.text.c_str(),
                         address_error_text(e));
            return false;
        }
    }
    return true;
}

parse_outcome parse_command_line(int argc, char** argv, settings& out) {
    static const option long_options[] = {
        {"listen", required_argument, nullptr, 'l'},
        {"s1", required_argument, nullptr, '1'},
        {"s2", required_argument, nullptr, '2'},
        {"session-timeout", required_argument, nullptr, 's'},
        {"debug", required_argument, nullptr, 'd'},
        {"version", no_argument, nullptr, 'v'},
        {"hold-down", required_argument, nullptr, 'H'},
        {nullptr, 0, nullptr, 0},
    };
    optind = 0; // full re-initialisation, so the parser can run more than once (tests)
    int c;
    while ((c = getopt_long(argc, argv, "l:1:2:s:d:vH:", long_options, nullptr)) != -1) {
        switch (c) {
        case 'l':
            out.listen_addr = optarg;
            out.has_listen = true;
            break;
        case '1':
            out.server1 = optarg;
            out.has_server1 = true;
            break;
        case '2':
            out.server2 = optarg;
            out.has_server2 = true;
            break;
        case 's':
            out.session_timeout_ms = parse_leading_int(optarg);
            break;
        case 'd':
            out.debug_level = parse_leading_int(optarg);
            break;
        case 'H':
            out.hold_down_s = parse_leading_int(optarg);
            break;
        case 'v':
            return parse_outcome::version;
        default:
            return parse_outcome::usage;
        }
    }
    if (!out.has_listen || !out.has_server1 || !out.has_server2 || out.session_timeout_ms <= 0 ||
        out.hold_down_s < 0)
        return parse_outcome::usage;
    return parse_outcome::run;
}

} // namespace velmora
