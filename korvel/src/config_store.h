// Access to the router's UCI store through one context, paths in the
// extended syntax ("smstools3.@sms[0].device"). Every change is saved to the
// package's pending changes at once and made permanent by commit().
//
// The store is handed to every function that reads or writes configuration;
// nothing reaches UCI any other way. Look-ups that find no section or option
// skip the change silently (a package that is not installed is no error),
// but a commit that fails, a package file that does not parse, or any use
// of a store whose context could not be allocated makes commit() (or
// readable()) answer false, with error() saying what could not be saved.
#pragma once

#include "handles.h"

#include <cstddef>

struct uci_ptr;

namespace korvel {

class config_store {
  public:
    /// Allocates the context; ok() tells whether that worked.
    config_store();
    config_store(const config_store&) = delete;
    config_store& operator=(const config_store&) = delete;

    bool ok() const { return static_cast<bool>(ctx_); }

    /// Value of a string option (at most cap - 1 characters). False, with `buf`
    /// emptied, when the path names no string option (a list reads as empty).
    bool get(const char* path, char* buf, std::size_t cap);
    template <std::size_t N> bool get(const char* path, char (&buf)[N]) {
        return get(path, buf, N);
    }

    /// Sets "path=value" (an option's value, or a section's type) and saves.
    /// A type write to "@type[n]" that names no section adds an unnamed section
    /// of that type instead of a section literally named "@type[n]".
    void set(const char* path, const char* value);

    /// Deletes the section or option and saves.
    void remove(const char* path);

    /// Adds `value` as a list entry of the option (a string option becomes a
    /// list of its old value and `value`) and saves.
    void add_list(const char* path, const char* value);

    /// Removes every list entry equal to `value` and saves.
    void del_list(const char* path, const char* value);

    /// True when the option is the string `value` or a list holding it.
    bool has_value(const char* path, const char* value);

    /// Writes the package's changes to its file. True when they are on disk,
    /// when there was nothing to write, or when the package is not installed
    /// (no file); false when the file does not parse or cannot be written.
    [[nodiscard]] bool commit(const char* package);

    /// False when the package's file exists but cannot be read or parsed.
    [[nodiscard]] bool readable(const char* package);

    /// Name of the first "zone" section of the firewall whose name (string or
    /// list) is "wan"; false when there is none or no firewall package.
    bool find_wan_zone(char (&zone)[64]);

    /// Records that `what` could not be saved because of `reason` (the first
    /// failure is kept); always false, for `return cfg.failed(...)`.
    bool failed(const char* what, const char* reason);

    /// "could not save <what>: <reason>" of the first failure; empty if none.
    const char* error() const { return error_; }

  private:
    /// The context for a change; without one the change is recorded as lost.
    uci_context* for_change();
    /// Records the context's error for `package` ("save" or "read").
    bool uci_failed(const char* verb, const char* package);

    uci_context_handle ctx_;
    bool misused_ = false; // a change was asked of a store without a context
    char error_[256] = {};
};

} // namespace korvel
