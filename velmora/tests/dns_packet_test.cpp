#include "dns_packet.h"
#include "packet_invariants.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace velmora;
using velmora::testing::get16;
using velmora::testing::message_builder;

namespace {

std::string qname_of(const std::vector<uint8_t>& msg, size_t cap = qname_cap) {
    std::vector<char> out(cap, 'x');
    extract_qname(msg.data(), msg.size(), out.data(), cap);
    return out.data();
}

std::string labels_of(size_t count, size_t len) {
    std::string s;
    for (size_t i = 0; i < count; i++) {
        if (i) s += '.';
        s += std::string(len, static_cast<char>('a' + i % 26));
    }
    return s;
}

} // namespace

TEST(velmora_qname, ExtractsDottedNamesAndStopsSafely) {
    struct row {
        const char* what;
        std::vector<uint8_t> msg;
        std::string want;
    };
    auto truncated = message_builder().question("www.example.com").bytes;
    truncated.resize(12 + 1 + 3 + 1 + 4); // "www" and half of "example"
    auto pointer = message_builder().raw({3, 'w', 'w', 'w', 0xC0, 12}).bytes;
    const row rows[] = {
        {"plain", message_builder().question("www.example.com").bytes, "www.example.com"},
        {"root", message_builder().raw({0, 0, 1, 0, 1}).bytes, ""},
        {"header only", message_builder().bytes, ""},
        {"shorter than a header", {0x12, 0x34, 0x01}, ""},
        {"label runs off the end", truncated, "www"},
        // a pointer byte is a plain length: 192 bytes are not there, so the name stops
        {"compression pointer not followed", pointer, "www"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(r.want, qname_of(r.msg)) << r.what;
}

TEST(velmora_qname, ControlBytesAreEscapedForTheLog) {
    struct row {
        const char* what;
        std::vector<uint8_t> label;
        std::string want;
    };
    const row rows[] = {
        {"line feed", {'a', '\n', 'b'}, "a\\010b.test"},
        {"escape sequence", {0x1B, '[', '2', 'J'}, "\\027[2J.test"},
        {"carriage return and NUL", {'\r', 0}, "\\013\\000.test"},
        {"DEL and high bytes", {0x7F, 0x9B, 0xFF}, "\\127\\155\\255.test"},
        {"backslash", {'a', '\\', 'b'}, "a\\\\b.test"},
        {"printable ASCII unchanged", {'a', '-', '_', ' ', '~'}, "a-_ ~.test"},
    };
    for (const auto& r : rows) {
        message_builder b;
        b.bytes.push_back(static_cast<uint8_t>(r.label.size()));
        b.bytes.insert(b.bytes.end(), r.label.begin(), r.label.end());
        b.question("test");
        EXPECT_EQ(r.want, qname_of(b.bytes)) << r.what;
    }
    // The 255-character cut counts escaped characters: 60 line feeds take 240, so a second label
    // of 20 does not fit after them.
    message_builder b;
    b.bytes.push_back(60);
    b.bytes.insert(b.bytes.end(), 60, '\n');
    b.question(std::string(20, 'x'));
    std::string got = qname_of(b.bytes);
    EXPECT_EQ(240u, got.size());
    EXPECT_EQ(std::string::npos, got.find('\n'));
}

TEST(velmora_qname, LongNamesAreCutAfterTheLastWholeLabel) {
    // 5 labels of 63 = 319 dotted characters; four fit (255), the fifth does not.
    auto msg = message_builder().question(labels_of(5, 63)).bytes;
    EXPECT_EQ(labels_of(4, 63), qname_of(msg));
    // 1-character labels: 128 of them make 255 characters exactly.
    auto many = message_builder().question(labels_of(140, 1)).bytes;
    EXPECT_EQ(labels_of(128, 1), qname_of(many));
    // A small output capacity cuts the same way.
    auto www = message_builder().question("www.example.com").bytes;
    EXPECT_EQ("www", qname_of(www, 8));
}

TEST(velmora_header, RcodeTcAndMessageId) {
    auto msg = message_builder(0xBEEF, 0x83, 0x83).question("a.b").bytes;
    EXPECT_EQ(3, message_rcode(msg.data(), msg.size()));
    EXPECT_EQ(-1, message_rcode(msg.data(), 3));
    clear_tc_flag(msg.data(), msg.size());
    EXPECT_EQ(0x81, msg[2]);

    auto query = message_builder(0xBEEF, 0x01, 0x00).question("a.b").bytes;
    auto other = message_builder(0xBEF0).question("a.b").bytes;
    EXPECT_TRUE(same_message_id(query.data(), query.size(), msg.data(), msg.size()));
    EXPECT_FALSE(same_message_id(query.data(), query.size(), other.data(), other.size()));
    EXPECT_TRUE(same_message_id(query.data(), query.size(), other.data(), 1)); // no ID to compare
}

TEST(velmora_header, ReplyMatchesQueryByIdAndQuestion) {
    auto query = message_builder(0xBEEF, 0x01, 0x00).question("www.Example.com").bytes;
    auto answer = [](uint16_t id, const char* name) {
        return message_builder(id).question(name).counts(1, 0, 0).record(4).bytes;
    };
    auto other_type = answer(0xBEEF, "www.example.com");
    other_type[12 + 17 + 1] = 28; // AAAA instead of A
    auto no_question = message_builder(0xBEEF, 0x81, 0x82).bytes;
    no_question[5] = 0; // QDCOUNT 0, as some servers send with SERVFAIL or FORMERR
    auto cut = answer(0xBEEF, "www.example.com");
    cut.resize(12 + 10);
    struct row {
        const char* what;
        std::vector<uint8_t> reply;
        bool want;
    };
    const row rows[] = {
        {"same ID and question", answer(0xBEEF, "www.example.com"), true},
        {"letter case differs", answer(0xBEEF, "WWW.EXAMPLE.COM"), true},
        {"other ID", answer(0xBEF0, "www.example.com"), false},
        {"other name, same ID", answer(0xBEEF, "www.example.org"), false},
        {"other name of the same length", answer(0xBEEF, "www.exbmple.com"), false},
        {"other type", other_type, false},
        {"no question: ID alone", no_question, true},
        {"header only", std::vector<uint8_t>(query.begin(), query.begin() + 12), true},
        {"question cut short", cut, false},
    };
    for (const row& r : rows)
        EXPECT_EQ(r.want,
                  reply_matches_query(query.data(), query.size(), r.reply.data(), r.reply.size()))
            << r.what;
    // A query whose question cannot be read is matched by its ID alone.
    auto odd = message_builder(0xBEEF).raw({0xC0, 0x0C}).bytes;
    EXPECT_TRUE(reply_matches_query(odd.data(), odd.size(), answer(0xBEEF, "x.y").data(), 30));
}

TEST(velmora_edns, UdpSizeOfTheQuerysOptRecord) {
    auto opt = [](uint16_t size) {
        // root owner, TYPE 41, CLASS = UDP payload size, TTL 0, RDLENGTH 0
        return std::vector<uint8_t>{
            0, 0, 41, static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size), 0, 0, 0,
            0, 0, 0};
    };
    auto query = [&](uint16_t size, uint16_t ar) {
        message_builder b(0x1234, 0x01, 0x00);
        b.question("www.example.com").counts(0, 0, ar);
        auto o = opt(size);
        b.bytes.insert(b.bytes.end(), o.begin(), o.end());
        return b.bytes;
    };
    auto with_cookie = query(1232, 1);
    with_cookie[with_cookie.size() - 1] = 4; // RDLENGTH 4: an option follows
    with_cookie.insert(with_cookie.end(), {0, 10, 0, 0});
    // An A record in the additional section ahead of the OPT record.
    message_builder two(0x1234, 0x01, 0x00);
    two.question("a.b").counts(0, 0, 2).record(4);
    auto o = opt(4096);
    two.bytes.insert(two.bytes.end(), o.begin(), o.end());
    // An answer record in a query (unusual) comes before the additional section.
    message_builder an(0x1234, 0x01, 0x00);
    an.question("a.b").counts(1, 0, 1).record(4);
    an.bytes.insert(an.bytes.end(), o.begin(), o.end());
    auto cut = query(1232, 1);
    cut.resize(cut.size() - 3);
    auto missing = message_builder().question("a.b").counts(0, 0, 1).bytes;

    struct row {
        const char* what;
        std::vector<uint8_t> msg;
        uint16_t size;
        size_t limit;
    };
    const row rows[] = {
        {"dig's default", query(1232, 1), 1232, 1232},
        {"4096", query(4096, 1), 4096, 4096},
        {"beyond the datagram cap", query(65535, 1), 65535, 4096},
        {"below 512", query(400, 1), 400, 512},
        {"exactly 512", query(512, 1), 512, 512},
        {"513", query(513, 1), 513, 513},
        {"with an option", with_cookie, 1232, 1232},
        {"after another additional record", two.bytes, 4096, 4096},
        {"after an answer record", an.bytes, 4096, 4096},
        {"no additional record", message_builder().question("a.b").bytes, 0, 512},
        {"ARCOUNT 1 but nothing there", missing, 0, 512},
        {"OPT record cut short", cut, 0, 512},
        {"header only", message_builder().bytes, 0, 512},
        {"shorter than a header", {0x12, 0x34}, 0, 512},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(r.size, edns_udp_size(r.msg.data(), r.msg.size())) << r.what;
        EXPECT_EQ(r.limit, reply_size_limit(r.msg.data(), r.msg.size())) << r.what;
    }
}

TEST(velmora_header, MessageIdReadAndWritten) {
    auto msg = message_builder(0xBEEF).question("a.b").bytes;
    EXPECT_EQ(0xBEEF, message_id(msg.data(), msg.size()));
    set_message_id(msg.data(), msg.size(), 0x0102);
    EXPECT_EQ(0x01, msg[0]);
    EXPECT_EQ(0x02, msg[1]);
    uint8_t one[1] = {0x55};
    set_message_id(one, 1, 0xFFFF);
    EXPECT_EQ(0x55, one[0]);
    EXPECT_EQ(0, message_id(one, 1));
}

TEST(velmora_quiet, SubstringMatchOnLocalArpaLan) {
    struct row {
        const char* name;
        bool quiet;
    };
    const row rows[] = {
        {"printer.local", true}, {"4.3.2.1.in-addr.arpa", true},
        {"nas.lan", true},       {"x.lanparty.example", true},
        {"example.com", false},  {"local", false},
        {"lan.example", false},  {"", false},
    };
    for (const auto& r : rows)
        EXPECT_EQ(r.quiet, is_quiet_name(r.name)) << r.name;
}

TEST(velmora_trim, KeepsWholeAnswerRecordsWithin512Bytes) {
    // Question "example.com" ends at 12 + 13 + 4 = 29; records of 12 + 50 = 62 bytes each.
    message_builder b;
    b.question("example.com");
    for (int i = 0; i < 10; i++)
        b.record(50);
    b.raw({0, 0, 41, 0x10, 0, 0, 0, 0, 0, 0, 0}); // an OPT record in the additional section
    b.counts(10, 0, 1);
    b.bytes.resize(700, 0);
    auto msg = b.bytes;

    size_t n = trim_reply(msg.data(), msg.size());
    // 29 + 7 * 62 = 463 fits, the eighth would end at 525.
    EXPECT_EQ(463u, n);
    EXPECT_EQ(7, get16(msg, 6));
    EXPECT_EQ(0, get16(msg, 8));
    EXPECT_EQ(0, get16(msg, 10));
    EXPECT_EQ(0, std::memcmp(msg.data() + 12, b.bytes.data() + 12, n - 12));
}

TEST(velmora_trim, CutsAtTheClientsEdnsSize) {
    // 10 records of 62 bytes after a question ending at 29, then an OPT record: 660 bytes.
    message_builder b;
    b.question("example.com");
    for (int i = 0; i < 10; i++)
        b.record(50);
    b.raw({0, 0, 41, 0x04, 0xD0, 0, 0, 0, 0, 0, 0});
    b.counts(10, 0, 1);
    struct row {
        size_t limit;
        size_t want_len;
        uint16_t want_an;
    };
    const row rows[] = {
        {512, 29 + 7 * 62, 7},
        {600, 29 + 9 * 62, 9},
        {649, 29 + 10 * 62, 10}, // every answer fits; the OPT record does not
    };
    for (const auto& r : rows) {
        auto msg = b.bytes;
        EXPECT_EQ(r.want_len, trim_reply(msg.data(), msg.size(), r.limit)) << r.limit;
        EXPECT_EQ(r.want_an, get16(msg, 6)) << r.limit;
        EXPECT_EQ(0, get16(msg, 10)) << r.limit;
    }
}

TEST(velmora_trim, StopsAtMalformedOrMissingRecords) {
    struct row {
        const char* what;
        std::vector<uint8_t> msg;
        size_t want_len;
        uint16_t want_an;
    };
    auto padded = [](message_builder b, size_t total) {
        b.bytes.resize(total, 0);
        return b.bytes;
    };
    const size_t q_end = 12 + 13 + 4;
    const row rows[] = {
        // first record alone is bigger than 512: only the question is left
        {"first record too long",
         padded(message_builder().question("example.com").record(600).counts(1, 0, 0), 700), q_end,
         0},
        // ANCOUNT says 3: one whole record, then a second cut short
        {"fewer records than ANCOUNT",
         padded(message_builder().question("example.com").record(400).counts(3, 0, 0),
                q_end + 412 + 5),
         q_end + 412, 1},
        // RDLENGTH field cut by the end of the message
        {"record header runs off the end",
         padded(message_builder().question("example.com").counts(1, 0, 0), q_end + 6), q_end, 0},
        // a question whose labels run past the end must not grow the message
        {"question runs off the end", message_builder().raw({63, 'a'}).counts(1, 0, 0).bytes, 14,
         0},
    };
    for (const auto& r : rows) {
        auto msg = r.msg;
        size_t n = trim_reply(msg.data(), msg.size());
        EXPECT_EQ(r.want_len, n) << r.what;
        EXPECT_EQ(r.want_an, get16(msg, 6)) << r.what;
        EXPECT_LE(n, r.msg.size()) << r.what;
    }
}

// Seeded random inputs through the same invariants as the libFuzzer target, so the packet code
// is exercised under ASan+UBSan in every build, not only where clang is the compiler.
TEST(velmora_packet_random, RandomBytesKeepTheInvariants) {
    std::mt19937 rng(20261209);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<size_t> length(0, 4096);
    for (int i = 0; i < 20000; i++) {
        std::vector<uint8_t> msg(i < 600 ? static_cast<size_t>(i) : length(rng));
        for (auto& b : msg)
            b = static_cast<uint8_t>(byte(rng));
        check_packet_invariants(msg.data(), msg.size());
    }
}

TEST(velmora_packet_random, MutatedRepliesKeepTheInvariants) {
    // Plausible replies with a few bytes flipped reach the deeper record walk far more often.
    message_builder b;
    b.question("www.example.com");
    for (int i = 0; i < 12; i++)
        b.record(40);
    b.counts(12, 2, 1);
    const std::vector<uint8_t> base = b.bytes;
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < 20000; i++) {
        std::vector<uint8_t> msg = base;
        std::uniform_int_distribution<size_t> pos(0, msg.size() - 1);
        for (int k = 0; k < 1 + i % 6; k++)
            msg[pos(rng)] = static_cast<uint8_t>(byte(rng));
        msg.resize(std::uniform_int_distribution<size_t>(0, base.size())(rng));
        check_packet_invariants(msg.data(), msg.size());
    }
}
