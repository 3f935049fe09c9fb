#include "address.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <net/if.h>
#include <string>

using namespace velmora;

namespace {

// The endpoint back as text: "a.b.c.d:port", "[address%scope]:port" or "[address%zone]:port".
std::string shown(const endpoint& e) {
    char buf[INET6_ADDRSTRLEN] = {};
    if (e.family() == AF_INET) {
        inet_ntop(AF_INET, &e.addr.v4.sin_addr, buf, sizeof buf);
        return std::string(buf) + ":" + std::to_string(ntohs(e.addr.v4.sin_port));
    }
    if (e.family() != AF_INET6) return "(none)";
    inet_ntop(AF_INET6, &e.addr.v6.sin6_addr, buf, sizeof buf);
    std::string out = "[" + std::string(buf);
    if (e.zone[0] != '\0')
        out += std::string("%") + e.zone;
    else if (e.addr.v6.sin6_scope_id != 0)
        out += "%" + std::to_string(e.addr.v6.sin6_scope_id);
    return out + "]:" + std::to_string(ntohs(e.addr.v6.sin6_port));
}

} // namespace

TEST(velmora_address, ServerAndListenTexts) {
    using E = address_error;
    struct row {
        const char* text;
        port_rule rule;
        E want;
        const char* as; // the endpoint read, when it is read
    };
    const port_rule server = port_rule::default_53, listen = port_rule::required;
    const row rows[] = {
        {"192.0.2.1:5353", server, E::none, "192.0.2.1:5353"},
        {"192.0.2.1", server, E::none, "192.0.2.1:53"},
        {"0.0.0.0:65535", listen, E::none, "0.0.0.0:65535"},
        {"127.0.0.1:00053", listen, E::none, "127.0.0.1:53"},
        {"127.0.0.1", listen, E::no_port, nullptr},
        {"1.2.3.4:70000", server, E::bad_port, nullptr}, // not port 4464
        {"1.2.3.4:65536", server, E::bad_port, nullptr},
        {"127.0.0.1:53abc", listen, E::bad_port, nullptr},
        {"127.0.0.1:0", listen, E::bad_port, nullptr},
        {"127.0.0.1:", listen, E::bad_port, nullptr},
        {"127.0.0.1:+53", listen, E::bad_port, nullptr},
        {"127.0.0.1:-1", listen, E::bad_port, nullptr},
        {"127.0.0.1:000053", listen, E::bad_port, nullptr},
        {"127.0.0.1: 53", listen, E::bad_port, nullptr},
        {"router.lan:53", server, E::bad_address, nullptr},
        {"127.0.0.256:53", server, E::bad_address, nullptr},
        {"127.00.0.1:53", server, E::bad_address, nullptr},
        {"127.0.1:53", server, E::bad_address, nullptr},
        {":53", listen, E::bad_address, nullptr},
        {"", server, E::bad_address, nullptr},
        {"2001:db8::1", server, E::bad_address, nullptr}, // IPv6 needs its brackets
        {"[2001:db8::53]:53", server, E::none, "[2001:db8::53]:53"},
        {"[2001:db8::53]", server, E::none, "[2001:db8::53]:53"},
        {"[::1]:5300", listen, E::none, "[::1]:5300"},
        {"[::]:53", listen, E::none, "[::]:53"},
        {"[::1]", listen, E::no_port, nullptr},
        {"[::1]:70000", server, E::bad_port, nullptr},
        {"[::1]53", server, E::bad_address, nullptr},
        {"[::1", server, E::bad_address, nullptr},
        {"[]:53", server, E::bad_address, nullptr},
        {"[192.0.2.1]:53", server, E::bad_address, nullptr},
        {"[fe80::1%wan]:53", server, E::none, "[fe80::1%wan]:53"},
        {"[fe80::1%3]:53", server, E::none, "[fe80::1%3]:53"},
        {"[fe80::1%]:53", server, E::bad_zone, nullptr},
        {"[fe80::1%a/b]:53", server, E::bad_zone, nullptr},
        {"[fe80::1%interface-name-too-long]:53", server, E::bad_zone, nullptr},
    };
    for (const row& r : rows) {
        endpoint e;
        e.len = 99; // whatever was there before
        EXPECT_EQ(r.want, parse_endpoint(r.text, r.rule, e)) << r.text;
        if (r.as) {
            EXPECT_EQ(r.as, shown(e)) << r.text;
            EXPECT_EQ(e.family() == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6), e.len)
                << r.text;
        } else {
            EXPECT_EQ(0u, e.len) << r.text << ": left zeroed";
            EXPECT_NE(std::string(""), address_error_text(r.want)) << r.text;
        }
    }
}

TEST(velmora_address, ZoneNamesResolveWhenTheInterfaceExists) {
    endpoint e;
    ASSERT_EQ(address_error::none, parse_endpoint("[fe80::1%lo]:53", port_rule::default_53, e));
    EXPECT_EQ(0u, e.addr.v6.sin6_scope_id); // not looked up while reading
    ASSERT_EQ(0, resolve_zone(e));
    EXPECT_EQ(if_nametoindex("lo"), e.addr.v6.sin6_scope_id);

    endpoint gone;
    ASSERT_EQ(address_error::none,
              parse_endpoint("[fe80::1%nosuchif0]:53", port_rule::default_53, gone));
    EXPECT_EQ(ENODEV, resolve_zone(gone));

    endpoint plain;
    ASSERT_EQ(address_error::none, parse_endpoint("192.0.2.1:53", port_rule::default_53, plain));
    EXPECT_EQ(0, resolve_zone(plain));
}
