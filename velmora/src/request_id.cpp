#include "request_id.h"

namespace velmora {

namespace {

int64_t request_counter = 0;

} // namespace

int64_t next_request_id() {
    return request_counter++;
}

} // namespace velmora
