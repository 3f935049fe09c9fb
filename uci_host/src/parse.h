// Reader of configuration files and of the import stream (pure over the
// text; it builds the tree it is given).
#pragma once

#include "uci.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace uci_host {

struct parse_options {
    bool strict = true;
    bool ignore_package_lines = true; // file load: the name comes from the file
    bool record = false;              // merge import: record changes as deltas
};
struct parse_error {
    std::string reason;
    int line = 0;
    std::size_t byte = 0;
};
// Parses text into *current (created on the first package line when null);
// packages created on the way are appended to `created`. Returns false with
// `err` filled on a parse error.
bool parse_text(uci_context* ctx, std::string_view text, uci_package*& current,
                std::vector<uci_package*>& created, const parse_options& opt, parse_error& err);

// One shell-style word read from text at pos (the quoting rules of the files).
// Returns false at end of text or on an unterminated quote (bad set).
bool read_word(std::string_view text, std::size_t& pos, std::string& out, bool& bad);

// Keeps err as the context's parse position (ctx->pctx).
void set_parse_error(uci_context* ctx, const parse_error& err);

} // namespace uci_host
