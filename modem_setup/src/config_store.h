// Access to the router's UCI store: one context per process, paths in the
// extended syntax ("smstools3.@sms[0].device"). Every change is saved to the
// package's pending changes at once and made permanent by cfg_commit. Failed
// look-ups skip the operation silently.
#pragma once

#include <cstddef>

namespace korvel {

/// Allocates the process's context; does nothing when it is open already.
void cfg_open();
/// Frees the context (pending, unsaved changes are dropped).
void cfg_close();
bool cfg_is_open();

/// Closes the context when the scope ends.
struct cfg_scope {
    cfg_scope() = default;
    cfg_scope(const cfg_scope&) = delete;
    cfg_scope& operator=(const cfg_scope&) = delete;
    ~cfg_scope() { cfg_close(); }
};

/// Value of a string option (at most cap - 1 characters). False, with `buf`
/// emptied, when the path names no string option (a list reads as empty).
bool cfg_get(const char* path, char* buf, std::size_t cap);

/// Sets "path=value" (an option's value, or a section's type) and saves.
/// A type write to "@type[n]" that names no section adds an unnamed section
/// of that type instead of a section literally named "@type[n]".
void cfg_set(const char* path, const char* value);

/// Deletes the section or option and saves.
void cfg_delete(const char* path);

/// Adds `value` as a list entry of the option (a string option becomes a list
/// of its old value and `value`) and saves.
void cfg_add_list(const char* path, const char* value);

/// Removes every list entry equal to `value` and saves.
void cfg_del_list(const char* path, const char* value);

/// True when the option is the string `value` or a list holding it.
bool cfg_has_value(const char* path, const char* value);

/// Commits the package's pending changes.
void cfg_commit(const char* package);

/// Name of the first "zone" section of the firewall whose name (string or
/// list) is "wan"; false when there is none or no firewall package.
bool find_wan_zone(char (&zone)[64]);

} // namespace korvel
