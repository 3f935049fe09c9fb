// Changes through the API (uci_set, uci_add_list, ..., uci_revert: uci.h),
// and the line filter of a revert.
#pragma once

#include <string>
#include <string_view>

namespace uci_host {

// The lines of the change file `text` of `package` that do not touch the
// target: `section` (empty: the whole package), `option` (empty: the whole
// section). Each kept line ends in a newline; lines that touch another
// package are kept.
std::string revert_kept_lines(std::string_view text, std::string_view package,
                              std::string_view section, std::string_view option);

} // namespace uci_host
