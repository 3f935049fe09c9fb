// Small helpers shared by the unit tests of zapret2-ctl.
#pragma once

#include "log.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace zapret2_ctl::test {

// A fresh directory under TMPDIR (or /tmp), removed with its contents.
class temp_dir {
  public:
    temp_dir() {
        const char* base = std::getenv("TMPDIR");
        std::string tmpl = std::string(base && *base ? base : "/tmp") + "/zapret2_test.XXXXXX";
        if (char* p = ::mkdtemp(tmpl.data())) path_ = p;
    }
    ~temp_dir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

inline void write_file(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Opens the logger on the console at the given level and collects what it
// writes. A memory stream that cannot take every line fails the test: the
// text would be incomplete.
class log_capture {
  public:
    explicit log_capture(unsigned max_level = log_lvl_info) {
        mem_ = ::open_memstream(&buf_, &len_);
        if (!mem_) ADD_FAILURE() << "open_memstream failed";
        log_open(false, max_level);
        old_ = log_set_console(mem_);
    }
    ~log_capture() {
        log_set_console(old_ == stderr ? nullptr : old_);
        log_open(false, log_lvl_info);
        if (mem_ && std::fclose(mem_) != 0) ADD_FAILURE() << "log capture: fclose failed";
        std::free(buf_);
    }
    log_capture(const log_capture&) = delete;
    log_capture& operator=(const log_capture&) = delete;

    std::string text() {
        if (!mem_ || std::fflush(mem_) != 0) {
            ADD_FAILURE() << "log capture: the captured text is incomplete";
            return std::string();
        }
        return std::string(buf_, len_);
    }

  private:
    std::FILE* mem_ = nullptr;
    std::FILE* old_ = nullptr;
    char* buf_ = nullptr;
    std::size_t len_ = 0;
};

// Runs fn with output written to a memory stream and returns what it wrote.
// A stream that cannot take it all fails the test.
template <class writer> std::string capture_stream(writer fn) {
    char* buf = nullptr;
    std::size_t len = 0;
    std::FILE* mem = ::open_memstream(&buf, &len);
    if (!mem) {
        ADD_FAILURE() << "open_memstream failed";
        return std::string();
    }
    fn(mem);
    if (std::fclose(mem) != 0) ADD_FAILURE() << "capture_stream: fclose failed";
    std::string out(buf, len);
    std::free(buf);
    return out;
}

} // namespace zapret2_ctl::test
