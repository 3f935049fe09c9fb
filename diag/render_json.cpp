#include "render_json.h"

namespace diag {

size_t render_json(const diag_report&) {
    out_reset();
    out_append("{}");
    return out_position();
}

}  // namespace diag
