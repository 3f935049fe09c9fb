// Storage of the report record and the output buffer, and out_append.
#include "report.h"

namespace tarvona_diag {

namespace {
diag_report g_report; // several hundred KiB: static, never on the stack
size_t g_out_pos = 0;
} // namespace

char output_buffer[output_capacity];

diag_report& report_storage() {
    return g_report;
}

size_t out_position() {
    return g_out_pos;
}

void out_reset() {
    g_out_pos = 0;
    output_buffer[0] = '\0';
}

void out_append(const char* text) {
    if (!text) return;
    size_t len = strlen(text);
    // Usable bytes end at capacity - 1; the last byte is kept for the NUL.
    if (g_out_pos + len > output_capacity - 1) return;
    memcpy(output_buffer + g_out_pos, text, len);
    g_out_pos += len;
    output_buffer[g_out_pos] = '\0';
}

void out_sync() {
    output_buffer[output_capacity - 1] = '\0';
    g_out_pos = strlen(output_buffer);
}

} // namespace tarvona_diag
