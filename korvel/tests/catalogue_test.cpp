// The catalogue, APN and AT-list files: formats, skipping rules and look-ups.
#include "catalogue.h"

#include "test_support.h"

#include <gtest/gtest.h>
#include <string>

namespace korvel {
namespace {

class korvel_data_file : public ::testing::Test {
  protected:
    std::string write(const std::string& name, const std::string& text) {
        std::string path = dir_ / name;
        test::write_file(path, text);
        return path;
    }
    test::temp_dir dir_;
};

struct parsed {
    bool ok;
    std::string model, mode, sms_init, at, sms, flag;
};

parsed parse(const char* line) {
    modem_entry e;
    parsed p{};
    p.ok = parse_catalogue_line(line, e);
    if (p.ok) {
        p.model = e.model, p.mode = e.mode, p.sms_init = e.sms_init;
        p.at = e.at_port, p.sms = e.sms_port, p.flag = e.init_flag;
    }
    return p;
}

TEST(korvel_catalogue_line, FieldsTrimmedAndSkippingRules) {
    parsed p = parse(" 12d1/* ; E3372 ;HILINK; NAN ;/dev/ttyUSB0 ; /dev/ttyUSB1 ");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ("E3372", p.model);
    EXPECT_EQ("HILINK", p.mode);
    EXPECT_EQ("NAN", p.sms_init);
    EXPECT_EQ("/dev/ttyUSB0", p.at);
    EXPECT_EQ("/dev/ttyUSB1", p.sms);
    EXPECT_EQ("", p.flag);

    p = parse("1bc7/1910/*;LN940;MBIM;AT+CMGF=0;/dev/ttyUSB2;/dev/ttyUSB2; init ;trailing");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ("init", p.flag);

    struct {
        const char* line;
        const char* why;
    } skipped[] = {
        {"", "empty"},
        {"# 12d1/*;E3372;HILINK;NAN;/dev/ttyUSB0;/dev/ttyUSB0", "comment"},
        {" # not a comment;x", "blank then # is parsed, too few fields"},
        {"12d1/*;E3372;HILINK;NAN;/dev/ttyUSB0", "five fields"},
        {"12d1/*;E3372;;NAN;/dev/ttyUSB0;/dev/ttyUSB0", "empty field ends the parse"},
        {"12d1/*;E3372;HILINK_MODE_NAME_THAT_IS_FAR_TOO_LONG_X;NAN;/dev/a;/dev/b",
         "field over its width breaks the alignment"},
    };
    for (auto& s : skipped)
        EXPECT_FALSE(parse(s.line).ok) << s.why;

    // A blank-then-# line with enough fields is an entry like any other.
    EXPECT_TRUE(parse(" #1;m;MDM;NAN;/dev/a;/dev/b").ok);
}

TEST(korvel_catalogue_line, ModeAndInitFlags) {
    struct {
        const char* mode;
        const char* flag;
        bool hilink, ncm, xmm, mbim, mdm, add, setup;
    } cases[] = {
        {"HILINK", "", true, false, false, false, false, false, false},
        {"hilink", "", false, false, false, false, false, false, false},
        {"NCM", " INIT ", false, true, false, false, false, true, false},
        {"XMM", "Init0", false, false, true, false, false, false, true},
        {"MBIM", "init1", false, false, false, true, false, false, false},
        {"MDM", "initx", false, false, false, false, true, false, false},
        {"QMI", "init", false, false, false, false, false, true, false},
    };
    for (auto& c : cases) {
        std::string line = std::string("1/*;m;") + c.mode + ";NAN;/dev/a;/dev/b";
        if (*c.flag) line += std::string(";") + c.flag;
        modem_entry e;
        ASSERT_TRUE(parse_catalogue_line(line.c_str(), e)) << line;
        modem_state st;
        reset_state(st);
        apply_entry(e, st);
        EXPECT_EQ(c.hilink, st.hilink) << line;
        EXPECT_EQ(c.ncm, st.ncm) << line;
        EXPECT_EQ(c.xmm, st.xmm) << line;
        EXPECT_EQ(c.mbim, st.mbim) << line;
        EXPECT_EQ(c.mdm, st.mdm) << line;
        EXPECT_EQ(c.add, st.bind_at_add) << line;
        EXPECT_EQ(c.setup, st.rebind_at_setup) << line;
    }
}

TEST(korvel_catalogue_match, ShellWildcardsAcrossSlashes) {
    struct {
        const char* pattern;
        const char* id;
        bool match;
    } cases[] = {
        {"12d1/*", "12d1/1506/102", true},
        {"12d1/*", "12d2/1506/102", false},
        {"*/1506/*", "12d1/1506/102", true},
        {"12d1/150?/*", "12d1/1506/0", true},
        {"12d1/15[0-4]6/*", "12d1/1506/0", true},
        {"12d1/15[!0]6/*", "12d1/1506/0", false},
        {"12d1\\/*", "12d1/9", true},
        {"*", ".hidden/1", true},
        {"3f0/857/*", "3f0/857/0", true},
        {"3f0/857/*", "3f0/8570/0", false},
    };
    for (auto& c : cases) {
        modem_entry e{};
        copy_text(e.pattern, c.pattern);
        EXPECT_EQ(c.match, entry_matches(e, c.id)) << c.pattern << " ~ " << c.id;
    }
}

TEST_F(korvel_data_file, LookupFirstMatchWinsAndMissingLeavesState) {
    std::string path =
        write("modems.conf", "# catalogue\r\n"
                             "\n"
                             "12d1/1506/*;E3372h;NCM;NAN;/dev/ttyUSB0;/dev/ttyUSB2\r\n"
                             "12d1/*;Generic Huawei;HILINK;NAN;/dev/ttyUSB1;/dev/ttyUSB1\n"
                             "2c7c/*;EC25;QMI;AT+CMGF=0;/dev/ttyUSB2;/dev/ttyUSB3;init");
    modem_state st;
    reset_state(st);
    ASSERT_TRUE(lookup_modem(st, "12d1/1506/102", path.c_str()));
    EXPECT_STREQ("E3372h", st.model);
    EXPECT_TRUE(st.ncm);
    EXPECT_FALSE(st.hilink);
    EXPECT_STREQ("/dev/ttyUSB2", st.sms_port);

    reset_state(st);
    ASSERT_TRUE(lookup_modem(st, "12d1/14db/102", path.c_str()));
    EXPECT_STREQ("Generic Huawei", st.model);

    reset_state(st);
    ASSERT_TRUE(lookup_modem(st, "2c7c/125/318", path.c_str())); // last line, no final newline
    EXPECT_STREQ("AT+CMGF=0", st.sms_init);
    EXPECT_TRUE(st.bind_at_add);

    reset_state(st);
    EXPECT_FALSE(lookup_modem(st, "1234/1/1", path.c_str()));
    EXPECT_STREQ("", st.model);
    EXPECT_STREQ("NAN", st.sms_init);
    EXPECT_STREQ("/dev/ttyUSB0", st.at_port);
    EXPECT_FALSE(lookup_modem(st, "12d1/1506/102", (dir_ / "none").c_str()));
}

TEST_F(korvel_data_file, LongLinesAreReadInPieces) {
    // 255 characters then the rest of the line: the rest is judged as a line
    // of its own and here forms a valid entry.
    std::string head(255, 'x');
    std::string path = write("modems.conf", head + "9/*;Tail;XMM;NAN;/dev/a;/dev/b\n");
    modem_state st;
    reset_state(st);
    ASSERT_TRUE(lookup_modem(st, "9/1/1", path.c_str()));
    EXPECT_STREQ("Tail", st.model);
}

TEST_F(korvel_data_file, ApnFirstEqualCodeWins) {
    std::string path = write("apns.conf", "# operators\n"
                                          "25001 ; mts\n"
                                          "25002;internet\n"
                                          "25001;second\n"
                                          "25099\n"
                                          " \t;blank-code\n");
    char apn[128];
    struct {
        const char* code;
        bool found;
        const char* apn;
    } cases[] = {
        {"25001", true, "mts"}, {"25002", true, "internet"}, {"25099", false, ""},
        {"2500", false, ""},    {"", true, "blank-code"},
    };
    for (auto& c : cases) {
        EXPECT_EQ(c.found, apn_for_operator(c.code, apn, sizeof apn, path.c_str())) << c.code;
        EXPECT_STREQ(c.apn, apn) << c.code;
    }
    EXPECT_FALSE(apn_for_operator("25001", apn, sizeof apn, (dir_ / "none").c_str()));
}

TEST_F(korvel_data_file, AtCommandsKeepFirst1023Bytes) {
    std::string big(1500, 'a');
    write("Big.ati", big);
    write("Small.ati", "Signal;AT+CSQ\n");
    modem_state st;
    reset_state(st);
    copy_text(st.model, "Big");
    load_at_commands(st, dir_.path().c_str());
    EXPECT_EQ(1023u, std::string(st.ati_text).size());
    copy_text(st.model, "Small");
    load_at_commands(st, dir_.path().c_str());
    EXPECT_STREQ("Signal;AT+CSQ\n", st.ati_text);
    copy_text(st.model, "Missing");
    load_at_commands(st, dir_.path().c_str());
    EXPECT_STREQ("", st.ati_text);
}

} // namespace
} // namespace korvel

// The shipped APN file, generated from mobile-broadband-provider-info, on
// operator codes as ModemManager reports them for real SIMs.
static const char* const shipped_apns = ROUTER_PROGRAM_BUILD_DIR "/apns.conf";

TEST(korvel_shipped_apns, RealOperatorCodes) {
    struct {
        const char* code;
        const char* apn;
    } cases[] = {
        {"25001", "internet.mts.ru"},     // MTS Russia, 2-digit MNC with a leading zero
        {"310410", "NXTGENPHONE"},        // AT&T, 3-digit MNC
        {"23203", "gprsinternet"},        // T-Mobile Austria: WAP, two internet APNs, MMS
        {"46000", "cmnet"},               // China Mobile: WAP before the internet APN
        {"25099", "internet.beeline.ru"}, // Beeline: the hand-written row wins
    };
    char apn[128];
    for (auto& c : cases) {
        EXPECT_TRUE(korvel::apn_for_operator(c.code, apn, sizeof apn, shipped_apns)) << c.code;
        EXPECT_STREQ(c.apn, apn) << c.code;
    }
    for (const char* unknown : {"31041", "3104100", "00101"})
        EXPECT_FALSE(korvel::apn_for_operator(unknown, apn, sizeof apn, shipped_apns)) << unknown;
}
