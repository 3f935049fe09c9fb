// Small text operations shared by the catalogue, the binding and the writer.
// Pure: no I/O.
#pragma once

#include <cstddef>

namespace korvel {

/// Removes leading and trailing blanks (space, \t, \n, \v, \f, \r) in place.
void trim_blanks(char* text);

/// Cuts `text` at its first carriage return or line feed.
void cut_line_end(char* text);

/// True when `text` begins with `prefix`.
bool starts_with(const char* text, const char* prefix);

/// True when `text` is `prefix` followed by one or more decimal digits and
/// nothing else; the number goes to *number when given (saturating).
bool prefix_and_number(const char* text, const char* prefix, long* number = nullptr);

/// Replaces every `from` in `text` by `to`.
void replace_char(char* text, char from, char to);

} // namespace korvel
