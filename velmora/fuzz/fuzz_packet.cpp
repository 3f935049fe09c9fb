// libFuzzer entry over the packet code (extract_qname, trim_reply, header checks).
#include "packet_invariants.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    velmora::check_packet_invariants(data, size);
    return 0;
}
