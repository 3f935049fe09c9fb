// The file form of a package, as commit writes it and export prints it.
#pragma once

#include "uci.h"

#include <string>

namespace uci_host {

// The package in file form; with header, a "package <name>" line first;
// with name_all, anonymous sections are written with their names.
std::string write_package(const uci_package* p, bool header, bool name_all);

} // namespace uci_host
