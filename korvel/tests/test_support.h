// Helpers shared by korvel's unit tests: a scratch directory and whole-file
// reads and writes.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace korvel::test {

/// A fresh directory under /tmp, removed with its contents.
class temp_dir {
  public:
    temp_dir() {
        char tmpl[] = "/tmp/korvel_test.XXXXXX";
        if (char* p = ::mkdtemp(tmpl))
            path_ = p;
        else
            ADD_FAILURE() << "cannot create a directory under /tmp";
    }
    ~temp_dir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

/// Writes `text` as the whole of the file `path`.
inline void write_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) ADD_FAILURE() << "cannot write " << path;
}

/// The whole of the file `path` (empty when it cannot be read).
inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace korvel::test
