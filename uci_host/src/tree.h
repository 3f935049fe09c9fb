// The in-memory tree (packages, sections, options, list items, pending
// changes) and the name rules shared by the parser, the look-ups and the
// change operations. Allocation failures throw std::bad_alloc; every element
// is owned by its parent and freed with it.
#pragma once

#include "uci.h"

#include <string>
#include <string_view>

namespace uci_host {

// ---- names and texts (pure) ----
bool valid_name(std::string_view s);         // [A-Za-z0-9_]+
bool valid_package_name(std::string_view s); // [A-Za-z0-9_-]+
bool valid_type(std::string_view s);         // printable ASCII 33..126, not empty
bool valid_text(std::string_view s);         // no control bytes but tab, CR, LF
// 'value' with every ' written as '\''.
std::string quote(std::string_view s);
// A whole base-10 number (strtol's syntax, nothing after it, no overflow).
bool parse_index(const char* text, long& out);

// ---- intrusive lists ----
void list_init(uci_list* l);
void list_add_tail(uci_list* head, uci_list* item);
void list_insert_before(uci_list* pos, uci_list* item);
void list_del(uci_list* item);

char* dup_text(std::string_view s); // malloc'd copy; throws bad_alloc

// A bare element (list item, delta path) holding a copy of `name`.
uci_element* element_new(uci_type type, std::string_view name);
void element_free(uci_element* e); // unlinks too
// The first element of `list` with exactly this name, or nullptr.
uci_element* find_element(const uci_list* list, std::string_view name);

// ---- tree building and changes (no delta recording) ----
uci_package* package_new(uci_context* ctx, std::string_view name);
void package_free(uci_package* p);
uci_package* find_package(uci_context* ctx, std::string_view name);
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

} // namespace uci_host
