// tarvona_diag: router diagnostics report, from a shell or as a CGI program.
#include "report.h"

int main() { return 0; }
