// The loader against UCI files: every row is a small /etc/config/zapret2.
#include "config_load.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace zapret2_ctl {
namespace {

using test::log_capture;
using test::temp_dir;
using test::write_file;

std::string show(const heap_text& t) {
    return t ? t.get() : "(none)";
}

// One line for the main options, then one line per list entry in list order.
std::string describe(const zapret2_config& c) {
    char head[512];
    std::snprintf(head, sizeof head,
                  "enabled=%d debug=%d qnum=%d mark=0x%08x ws_user=%s ah=%d ah_file=%s "
                  "ah_threshold=%d ah_time=%d ah_retrans=%d ah_debuglog=%d\n",
                  c.enabled, c.debug, c.qnum, c.desync_mark, show(c.ws_user).c_str(),
                  c.autohostlist_enabled, show(c.autohostlist_file).c_str(),
                  c.autohostlist_fail_threshold, c.autohostlist_fail_time,
                  c.autohostlist_retrans_threshold, c.autohostlist_debuglog);
    std::string out = head;
    for (const strategy_entry* s = c.strategies.front(); s; s = s->next)
        out += "strategy " + show(s->name) + " enabled=" + std::to_string(s->enabled) +
               " port=" + show(s->port) + " protocols=" + show(s->protocols) +
               " filter_l7=" + show(s->filter_l7) + " hostlists=" + show(s->hostlists) +
               " exclude=" + show(s->hostlist_exclude) + " script=" + show(s->script) + "\n";
    for (const hostlist_entry* h = c.hostlists.front(); h; h = h->next)
        out += "hostlist " + show(h->name) + " path=" + show(h->path) + "\n";
    for (const file_entry* b = c.blobs.front(); b; b = b->next)
        out += "blob " + show(b->name) + " path=" + show(b->path) +
               " enabled=" + std::to_string(b->enabled) + "\n";
    for (const file_entry* l = c.luascripts.front(); l; l = l->next)
        out += "luascript " + show(l->name) + " path=" + show(l->path) +
               " enabled=" + std::to_string(l->enabled) + "\n";
    return out;
}

const char* const defaults_head =
    "enabled=1 debug=0 qnum=300 mark=0x40000000 ws_user=daemon ah=0 "
    "ah_file=/opt/zapret2/ipset/zapret_hosts_auto.txt ah_threshold=3 ah_time=60 ah_retrans=3 "
    "ah_debuglog=0\n";

struct load_case {
    const char* name;
    const char* uci;                   // nullptr: no file at all
    std::vector<std::string> contains; // in the description of the record
    std::vector<std::string> logged;   // log lines (without the time stamp)
    std::vector<std::string> not_logged;
};

const load_case cases[] = {
    {"no file",
     nullptr,
     {defaults_head},
     {"[WARN] No zapret2 UCI config found, using defaults"},
     {"Loaded"}},
    {"empty package", "", {defaults_head}, {"[INFO] Loaded 0 strategies"}, {"WARN"}},
    {"main section values",
     "config zapret2 'config'\n"
     "\toption enabled '0'\n\toption debug 'yes'\n\toption qnum ' 42'\n"
     "\toption desync_mark '0x20000000'\n\toption ws_user 'nobody'\n"
     "\toption autohostlist_enabled 'true'\n\toption autohostlist_file '/tmp/auto.txt'\n"
     "\toption autohostlist_fail_threshold '100'\n\toption autohostlist_fail_time '3600'\n"
     "\toption autohostlist_retrans_threshold '1'\n\toption autohostlist_debuglog '1'\n",
     {"enabled=0 debug=1 qnum=42 mark=0x20000000 ws_user=nobody ah=1 ah_file=/tmp/auto.txt "
      "ah_threshold=100 ah_time=3600 ah_retrans=1 ah_debuglog=1\n"},
     {},
     {"WARN"}},
    {"booleans are strict",
     "config zapret2\n\toption enabled 'on'\n\toption debug 'TRUE'\n",
     {"enabled=0 debug=0 "},
     {},
     {"WARN"}},
    {"qnum out of range",
     "config zapret2\n\toption qnum '70000'\n",
     {"qnum=300 "},
     {"[WARN] Value 70000 for qnum out of range [0, 65535], using default 300"},
     {}},
    {"qnum malformed",
     "config zapret2\n\toption qnum '12abc'\n",
     {"qnum=300 "},
     {"[WARN] Invalid integer value for qnum: '12abc', using default 300"},
     {}},
    {"fail time zero",
     "config zapret2\n\toption autohostlist_fail_time '0'\n",
     {"ah_time=60 "},
     {"[WARN] Value 0 for autohostlist_fail_time out of range [1, 3600], using default 60"},
     {}},
    {"octal mark",
     "config zapret2\n\toption desync_mark '010'\n",
     {"mark=0x00000008 "},
     {},
     {"WARN"}},
    {"decimal mark",
     "config zapret2\n\toption desync_mark '536870912'\n",
     {"mark=0x20000000 "},
     {},
     {"WARN"}},
    {"mark too large",
     "config zapret2\n\toption desync_mark '0x100000000'\n",
     {"mark=0x40000000 "},
     {"[WARN] desync_mark value too large: '0x100000000', using default 0x40000000"},
     {}},
    {"mark without digits",
     "config zapret2\n\toption desync_mark 'fwmark'\n",
     {"mark=0x40000000 "},
     {"[WARN] Invalid desync_mark value: 'fwmark', using default 0x40000000"},
     {}},
    {"second main section: numbers fall back, mark and texts stay",
     "config zapret2 'a'\n\toption qnum '500'\n\toption debug '1'\n\toption desync_mark '0x10'\n"
     "\toption ws_user 'first'\n"
     "config zapret2 'b'\n\toption enabled '1'\n",
     {"debug=0 qnum=300 mark=0x00000010 ws_user=first "},
     {},
     {"WARN"}},
    {"bare strategy",
     "config strategy 'bare'\n",
     {"strategy bare enabled=1 port=443 protocols=(none) filter_l7=(none) hostlists=(none) "
      "exclude=(none) script=(none)\n"},
     {"[INFO] Loaded 1 strategies"},
     {"WARN"}},
    {"strategy lists are joined",
     "config strategy 's'\n\tlist protocol 'tcp'\n\tlist protocol 'udp'\n"
     "\toption filter_l7 'tcp udp'\n\tlist hostlist 'a'\n\tlist hostlist_exclude 'x'\n"
     "\tlist hostlist_exclude 'y'\n\toption script 'run.lua'\n\toption port '80,443'\n",
     {"strategy s enabled=1 port=80,443 protocols=tcp udp filter_l7=tcp udp hostlists=a "
      "exclude=x y script=run.lua\n"},
     {},
     {"WARN"}},
    {"port given as a list",
     "config strategy 's'\n\tlist port '80'\n\tlist port '443'\n",
     {"strategy s enabled=1 port=443 "},
     {},
     {}},
    {"script given as a list",
     "config strategy 's'\n\tlist script 'a'\n\tlist script 'b'\n",
     {" script=(none)\n"},
     {},
     {}},
    {"strategies in file order, only enabled ones counted",
     "config strategy 'X'\nconfig strategy 'Y'\n\toption enabled '0'\nconfig strategy 'Z'\n",
     {"strategy X enabled=1 port=443 protocols=(none) filter_l7=(none) hostlists=(none) "
      "exclude=(none) script=(none)\nstrategy Y enabled=0 "},
     {"[INFO] Loaded 2 strategies"},
     {}},
    {"hostlists in reverse file order, type list included",
     "config hostlist 'A'\n\toption path '/a'\nconfig list 'B'\n\toption path '/b'\n"
     "config hostlist 'C'\n\toption path '/c'\n",
     {"hostlist C path=/c\nhostlist B path=/b\nhostlist A path=/a\n"},
     {},
     {"WARN"}},
    {"sections without path are skipped",
     "config hostlist 'H'\nconfig blob 'B'\nconfig luascript 'L'\n\toption enabled '1'\n"
     "config hostlist 'P'\n\tlist path '/x'\n",
     {defaults_head},
     {"[WARN] Hostlist 'H' has no path, skipping", "[WARN] Blob 'B' has no path, skipping",
      "[WARN] Luascript 'L' has no path, skipping", "[WARN] Hostlist 'P' has no path, skipping"},
     {}},
    {"blobs and luascripts default to disabled, reverse order",
     "config blob 'b1'\n\toption path '/b1'\nconfig blob 'b2'\n\toption path '/b2'\n"
     "\toption enabled '1'\nconfig luascript 'l1'\n\toption path '/l1'\n",
     {"blob b2 path=/b2 enabled=1\nblob b1 path=/b1 enabled=0\nluascript l1 path=/l1 enabled=0\n"},
     {},
     {"WARN"}},
    {"other types and unknown options are ignored",
     "config global 'g'\n\toption qnum '9'\nconfig zapret2\n\toption colour 'red'\n",
     {defaults_head},
     {"[INFO] Loaded 0 strategies"},
     {"WARN"}},
    {"anonymous sections keep their generated names",
     "config strategy\nconfig hostlist\n\toption path '/h'\n",
     {"strategy cfg", "hostlist cfg"},
     {},
     {"WARN"}},
};

void PrintTo(const load_case& c, std::ostream* os) {
    *os << c.name;
}

class zapret2_ctl_config_load : public ::testing::TestWithParam<load_case> {};

TEST_P(zapret2_ctl_config_load, Case) {
    const load_case& c = GetParam();
    temp_dir confdir;
    if (c.uci) write_file(confdir / "zapret2", c.uci);
    zapret2_config cfg{};
    log_capture cap;
    ASSERT_EQ(config_load_from(cfg, confdir.path().c_str()), 0);
    std::string record = describe(cfg);
    std::string log = cap.text();
    for (const std::string& s : c.contains)
        EXPECT_NE(record.find(s), std::string::npos) << s << "\nin:\n" << record;
    for (const std::string& s : c.logged)
        EXPECT_NE(log.find(s + "\n"), std::string::npos) << s << "\nin:\n" << log;
    for (const std::string& s : c.not_logged)
        EXPECT_EQ(log.find(s), std::string::npos) << s << "\nin:\n" << log;
}

INSTANTIATE_TEST_SUITE_P(zapret2_ctl_rows, zapret2_ctl_config_load, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<load_case>& info) {
                             std::string n;
                             for (const char* p = info.param.name; *p; ++p)
                                 n += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return n;
                         });

// A file that is there but cannot be loaded is an error naming the file and
// libuci's reason (for a syntax error, where it is), never the defaults.
struct broken_case {
    const char* name;
    const char* uci; // nullptr: a directory in place of the file
    const char* reason;
};

const broken_case broken_cases[] = {
    {"one bad line among good ones", "config zapret2 'config'\n\toption qnum '200'\n\tfoo bar\n",
     "Cannot parse %s: Parse error (invalid command) at line 3, byte 2"},
    {"unterminated quote", "config zapret2\n\toption qnum 'unterminated\n",
     "Cannot parse %s: Parse error (unterminated ') at line 2, byte 14"},
    {"not a file", nullptr, "Cannot read %s: Entry not found"},
};

TEST(zapret2_ctl_config_load_errors, BrokenFileIsAnErrorWithItsPosition) {
    for (const broken_case& c : broken_cases) {
        SCOPED_TRACE(c.name);
        temp_dir confdir;
        std::string path = confdir / "zapret2";
        if (c.uci)
            write_file(path, c.uci);
        else
            ::mkdir(path.c_str(), 0755);
        char expected[512];
        std::snprintf(expected, sizeof expected, c.reason, path.c_str());
        zapret2_config cfg{};
        log_capture cap;
        char why[512] = "untouched";
        EXPECT_NE(config_load_from(cfg, confdir.path().c_str(), why, sizeof why), 0);
        EXPECT_STREQ(why, expected);
        std::string log = cap.text();
        EXPECT_NE(log.find(std::string("[ERROR] ") + expected + "\n"), std::string::npos) << log;
        EXPECT_EQ(log.find("No zapret2 UCI config found"), std::string::npos) << log;
        EXPECT_EQ(log.find("Loaded"), std::string::npos) << log;
    }
}

// A list option whose items exceed the cap is refused as a whole.
TEST(zapret2_ctl_config_load_limits, OversizedListYieldsNone) {
    temp_dir confdir;
    std::string uci = "config strategy 'big'\n";
    std::string item(1023, 'h'); // 1024 bytes counted per item
    for (int i = 0; i < 257; ++i)
        uci += "\tlist hostlist '" + item + "'\n";
    write_file(confdir / "zapret2", uci);
    zapret2_config cfg{};
    log_capture cap;
    ASSERT_EQ(config_load_from(cfg, confdir.path().c_str()), 0);
    ASSERT_FALSE(cfg.strategies.empty());
    EXPECT_FALSE(cfg.strategies.front()->hostlists);
    EXPECT_NE(cap.text().find("[WARN] UCI list 'hostlist' exceeds maximum size limit\n"),
              std::string::npos);
}

} // namespace
} // namespace zapret2_ctl
