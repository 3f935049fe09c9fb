// Appends to a fixed text buffer; what no longer fits is cut, and the text
// always stays terminated (header only).
#pragma once

#include <cstddef>
#include <cstring>

namespace tarvona_diag {

class text_writer {
  public:
    text_writer(char* out, size_t cap) : out_(out), cap_(cap) {
        if (cap_) out_[0] = '\0';
    }
    void put(const char* p, size_t len) {
        if (cap_ == 0) return;
        size_t room = cap_ - 1 - n_;
        if (len > room) len = room;
        memcpy(out_ + n_, p, len);
        n_ += len;
        out_[n_] = '\0';
    }
    void put(const char* s) { put(s, strlen(s)); }
    void put(char c) { put(&c, 1); }
    size_t size() const { return n_; }

  private:
    char* out_;
    size_t cap_;
    size_t n_ = 0;
};

} // namespace tarvona_diag
