// The command line of zapret2-ctl: one command per invocation, chosen by its
// word, with the logger and the configuration each command needs.
#pragma once

namespace zapret2_ctl {

// Prints the usage text on standard output; prog is the name it starts with.
void print_usage(const char* prog);

// Whole command line to exit status.
int run(int argc, char** argv);

} // namespace zapret2_ctl
