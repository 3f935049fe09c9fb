// Packages on disk: paths, reading, loading, and the atomic replacement of a
// change file. The entry points (uci_load, uci_save, uci_commit, ...) are
// uci.h's.
#pragma once

#include "uci.h"

#include <functional>
#include <string>
#include <string_view>

namespace uci_host {

std::string config_path(const uci_context* ctx, std::string_view name);
// <dir>/<name>, e.g. the change file of a package in a change directory.
std::string path_in(std::string_view dir, std::string_view name);
bool read_file(const std::string& path, std::string& out);     // false when missing/not regular
uci_package* load_package(uci_context* ctx, const char* name); // throws uci_failure
// Replaces the change file of `pkg` in the save directory with change(old
// text), atomically and under the file's lock; nothing when there is none.
// Throws uci_failure (UCI_ERR_IO) and leaves the old file when it cannot.
void rewrite_saved(uci_context* ctx, std::string_view pkg,
                   const std::function<std::string(const std::string&)>& change);

} // namespace uci_host
