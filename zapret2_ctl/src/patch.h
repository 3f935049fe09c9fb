// Installing the embedded service scripts over the service's own copies
// (keeping the first copy as "<target>.orig") and putting them back.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zapret2_ctl {

struct patch_entry {
    const char* target;
    const unsigned char* content; // not terminated; written exactly as stored
    uint32_t length;
    uint32_t executable; // non-zero: mode 0755, else 0644
};

constexpr std::size_t patch_path_capacity = 512;

// Walks the entries in order; a failing entry never stops the walk.
// Return 0 when no entry failed, 1 otherwise. Messages go through the logger.
int patch_apply(const patch_entry* table, std::size_t count);
int patch_revert(const patch_entry* table, std::size_t count);

// The two scripts compiled into the program, in the order they are patched.
extern const patch_entry patch_table[];
extern const std::size_t patch_table_size;

// The "patch-apply" and "patch-revert" commands over patch_table; 0 or 1.
int cmd_patch_apply();
int cmd_patch_revert();

} // namespace zapret2_ctl
