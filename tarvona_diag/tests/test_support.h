// Helpers shared by the unit tests of tarvona_diag.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace tarvona_diag::test {

// A private directory under /tmp, removed with its contents at the end.
// path() is empty when it could not be made.
class temp_dir {
  public:
    explicit temp_dir(const char* prefix) {
        std::string tmpl = std::string("/tmp/") + prefix + ".XXXXXX";
        if (mkdtemp(tmpl.data())) path_ = tmpl;
    }
    ~temp_dir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const char* name) const { return path_ + "/" + name; }

    // Writes text as the whole file name of the directory; false when it
    // could not be written.
    bool write(const char* name, const char* text) const {
        FILE* f = fopen(file(name).c_str(), "w");
        if (!f) return false;
        bool written = fputs(text, f) >= 0;
        return fclose(f) == 0 && written;
    }

  private:
    std::string path_;
};

// A test with a private UCI configuration directory: the test writes the
// packages it needs and hands dir() to the code under test as confdir.
class uci_confdir_test : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(dir_.path().empty()); }
    void write(const char* package, const char* text) { ASSERT_TRUE(dir_.write(package, text)); }
    const char* dir() const { return dir_.path().c_str(); }

  private:
    temp_dir dir_{"diag-uci"};
};

// The field holds a terminator within its size.
template <size_t N> void expect_terminated(const char (&field)[N], const char* what) {
    EXPECT_LT(strnlen(field, N), N) << what;
}

// A deterministic hostile text of the given length, built from pieces that
// the parsers and maskers react to (separators, keywords, addresses, long
// words, bytes that are not UTF-8). The same generator state gives the same
// text.
inline std::string hostile_text(std::mt19937& rng, size_t length) {
    static const char* const pieces[] = {
        " ",
        "\t",
        "\n",
        "\r\n",
        ":",
        "=",
        "'",
        "\"",
        "/",
        ".",
        "<UP>",
        "via",
        "dev",
        "metric",
        "Mem:",
        "nameserver",
        "time=",
        "UP",
        "UNKNOWN",
        "wg0",
        "default",
        "DISTRIB_ID",
        "@NONE",
        "aa:bb:cc:dd:ee:ff",
        "0",
        "999",
        "123456789",
        "-",
        "x",
        "\xff\xfe",
        "LOWERLAYERDOWN",
    };
    std::uniform_int_distribution<size_t> pick(0, sizeof pieces / sizeof pieces[0] - 1);
    std::uniform_int_distribution<int> longword(0, 40);
    std::string s;
    while (s.size() < length) {
        if (longword(rng) == 0)
            s += std::string(300, 'w'); // longer than every field and some lines
        else
            s += pieces[pick(rng)];
    }
    s.resize(length);
    return s;
}

// The hostile texts the robustness tests feed each parser: 300 rounds of
// growing length, the same series in every test.
template <typename Check> void for_each_hostile_text(Check check) {
    std::mt19937 rng(20261209);
    for (int round = 0; round < 300; ++round) {
        std::string text = hostile_text(rng, 64 + static_cast<size_t>(round) * 13);
        check(text.c_str());
    }
}

} // namespace tarvona_diag::test
