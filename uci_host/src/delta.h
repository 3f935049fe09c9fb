// Change files ("save" files): the line of a pending change, and applying
// the lines of a change file to a package.
#pragma once

#include "uci.h"

#include <string>
#include <string_view>

namespace uci_host {

// One line of a change file, without the newline.
std::string delta_line(std::string_view package, const uci_delta* d);
// Applies the change file text to p; returns the number of lines applied.
int apply_delta_text(uci_context* ctx, uci_package* p, std::string_view text);
// Applies every change file of p (delta path, then the save directory).
int apply_delta_files(uci_context* ctx, uci_package* p);

} // namespace uci_host
