// Internal interfaces of the host configuration library.
//
// The public C API (uci.h) is a thin layer: every entry point runs its body
// through guard(), which turns the internal uci_failure, std::bad_alloc and any
// other exception into a return code stored in ctx->err. Nothing throws out
// of the library.
#pragma once

#include "uci.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Where a parse went wrong; reachable through ctx->pctx after a PARSE error.
struct uci_parse_context {
    std::string reason;
    int line = 0;
    std::size_t byte = 0;
};

namespace uci_host {

// Raised inside the library; guard() turns it into the return code.
struct uci_failure {
    int code;
};

[[noreturn]] void fail(int code);

template <class F> int guard(uci_context* ctx, F&& body) noexcept {
    if (!ctx) return UCI_ERR_INVAL;
    ctx->err = UCI_OK;
    // A parse position belongs to the call that failed, never to a later one.
    delete ctx->pctx;
    ctx->pctx = nullptr;
    int rc;
    try {
        rc = body();
    } catch (const uci_failure& f) {
        rc = f.code;
    } catch (const std::bad_alloc&) {
        rc = UCI_ERR_MEM;
    } catch (...) {
        rc = UCI_ERR_UNKNOWN;
    }
    ctx->err = rc;
    return rc;
}

// ---- names and texts (pure) ----
bool valid_name(std::string_view s);         // [A-Za-z0-9_]+
bool valid_package_name(std::string_view s); // [A-Za-z0-9_-]+
bool valid_type(std::string_view s);         // printable ASCII 33..126, not empty
bool valid_text(std::string_view s);         // no control bytes but tab, CR, LF
std::uint32_t djb2(std::string_view s);
// "cfg" + counter (%02x) + low 16 bits of the type's hash (%04x).
std::string anonymous_name(unsigned counter, std::string_view type);
// 'value' with every ' written as '\''.
std::string quote(std::string_view s);

// ---- intrusive lists ----
void list_init(uci_list* l);
void list_add_tail(uci_list* head, uci_list* item);
void list_insert_before(uci_list* pos, uci_list* item);
void list_del(uci_list* item);
std::size_t list_count(const uci_list* head);

char* dup_text(std::string_view s); // malloc'd copy; throws bad_alloc

// ---- tree building and changes (no delta recording) ----
uci_package* package_new(uci_context* ctx, std::string_view name);
void package_free(uci_package* p);
uci_section* find_section(uci_package* p, std::string_view name);
uci_option* find_option(uci_section* s, std::string_view name);
// Appends a section; an empty name makes it anonymous with a generated name.
uci_section* section_add(uci_package* p, std::string_view type, std::string_view name);
void section_set_type(uci_section* s, std::string_view type);
void section_free(uci_section* s); // unlinks too
// Sets a string value; an existing option (string or list) is replaced in place.
// Returns false when the option already held exactly this string.
bool option_set(uci_section* s, std::string_view name, std::string_view value);
// Appends an item; a string option becomes a list [old, new] in place.
void option_add_item(uci_section* s, std::string_view name, std::string_view value);
// Remove every item equal to value, or the item at index (false when out of
// range). A list left empty is freed; the result or `dropped` says so.
bool option_del_items(uci_option* o, std::string_view value);
bool option_del_index(uci_option* o, long index, bool& dropped);
void option_free(uci_option* o); // unlinks too
void option_rename(uci_option* o, std::string_view name);
void section_rename(uci_section* s, std::string_view name);
void section_move(uci_section* s, long pos);

// ---- pending changes ----
uci_delta* delta_new(uci_command cmd, std::string_view section, const char* option,
                     const char* value);
void delta_free(uci_delta* d);
void delta_list_clear(uci_list* head);
// Adds a change to p->delta when the package tracks changes.
void record(uci_package* p, uci_command cmd, std::string_view section, const char* option,
            const char* value);
// One line of a change file, without the newline.
std::string delta_line(std::string_view package, const uci_delta* d);
// Applies the change file text to p; returns the number of lines applied.
int apply_delta_text(uci_context* ctx, uci_package* p, std::string_view text);
// Applies every change file of p (delta path, then the save directory).
int apply_delta_files(uci_context* ctx, uci_package* p);

// ---- file text (pure over the tree) ----
// The package in file form; with header, a "package <name>" line first.
std::string write_package(const uci_package* p, bool header, bool name_all);

// ---- the parser ----
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

void set_parse_error(uci_context* ctx, const parse_error& err);

// ---- revert ----
// The lines of the change file `text` of `package` that do not touch the
// target: `section` (empty: the whole package), `option` (empty: the whole
// section). Each kept line ends in a newline; lines that touch another
// package are kept.
std::string revert_kept_lines(std::string_view text, std::string_view package,
                              std::string_view section, std::string_view option);

// ---- files ----
std::string config_path(const uci_context* ctx, std::string_view name);
bool read_file(const std::string& path, std::string& out);     // false when missing/not regular
uci_package* load_package(uci_context* ctx, const char* name); // throws uci_failure
// Replaces the change file of `pkg` in the save directory with change(old
// text), atomically and under the file's lock; nothing when there is none.
// Throws uci_failure (UCI_ERR_IO) and leaves the old file when it cannot.
void rewrite_saved(uci_context* ctx, std::string_view pkg,
                   const std::function<std::string(const std::string&)>& change);

} // namespace uci_host
