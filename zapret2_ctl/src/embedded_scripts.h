// The two service scripts kept beside the code (src/scripts/) and compiled in by
// the build as byte arrays with their lengths.
#pragma once

#include <cstdint>

namespace zapret2_ctl {

extern const unsigned char embedded_custom_sh[];
extern const uint32_t embedded_custom_sh_size;
extern const unsigned char embedded_init_script[];
extern const uint32_t embedded_init_script_size;

} // namespace zapret2_ctl
