// Command line of velmora: every setting comes from here, none from a file.
#pragma once

#include "address.h"

#include <string>

namespace velmora {

constexpr const char* version_text = "1.1.3";

struct settings {
    std::string listen_addr; // ip:port or [address]:port to receive queries on
    std::string server1;     // primary upstream, priority 1
    std::string server2;     // secondary upstream, priority 2
    endpoint listen_at;      // the three texts read by check_addresses
    endpoint server1_at;
    endpoint server2_at;
    bool has_listen = false;
    bool has_server1 = false;
    bool has_server2 = false;
    int session_timeout_ms = -1; // one attempt's wait for a reply
    int debug_level = 0;         // > 0 turns all logging on
    int hold_down_s = 0;         // > 0: a server that failed a request is left out this long
};

/// The settings of this run: written once from the command line before the event loop starts.
extern settings g_settings;

enum class parse_outcome { run, version, usage };

/// Reads the options in order (a repeated option replaces the earlier value). Returns version as
/// soon as --version is seen, usage on an unknown option, a missing value, a missing address, a
/// time-out that is not positive or a negative hold-down. getopt's own diagnostic goes to stderr;
/// nothing else is printed.
parse_outcome parse_command_line(int argc, char** argv, settings& out);

/// Reads the listening address (a port required) and the two servers (port 53 when none is
/// given) into their endpoints. Returns true; or false after printing, to stderr, which option
/// holds what and why it is refused.
bool check_addresses(const char* prog, settings& s);

/// Leading decimal number with an optional sign, 0 when the text does not begin with one;
/// values beyond the int range are clamped.
int parse_leading_int(const char* text);

/// Prints the usage line for the invocation name to stderr.
void print_usage(const char* prog);

} // namespace velmora
