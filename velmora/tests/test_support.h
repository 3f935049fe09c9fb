// Builds small DNS messages for the unit tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::testing {

struct message_builder {
    std::vector<uint8_t> bytes;

    explicit message_builder(uint16_t id = 0x1234, uint8_t flags2 = 0x81, uint8_t flags3 = 0x80)
        : bytes{static_cast<uint8_t>(id >> 8),
                static_cast<uint8_t>(id),
                flags2,
                flags3,
                0,
                1,
                0,
                0,
                0,
                0,
                0,
                0} {}

    message_builder& counts(uint16_t an, uint16_t ns, uint16_t ar) {
        put16(6, an);
        put16(8, ns);
        put16(10, ar);
        return *this;
    }
    message_builder& name(const std::string& dotted) {
        size_t start = 0;
        while (start < dotted.size()) {
            size_t dot = dotted.find('.', start);
            if (dot == std::string::npos) dot = dotted.size();
            bytes.push_back(static_cast<uint8_t>(dot - start));
            bytes.insert(bytes.end(), dotted.begin() + static_cast<long>(start),
                         dotted.begin() + static_cast<long>(dot));
            start = dot + 1;
        }
        bytes.push_back(0);
        return *this;
    }
    message_builder& question(const std::string& dotted) {
        name(dotted);
        raw({0, 1, 0, 1});
        return *this;
    }
    // A record whose owner is a compression pointer to the question, with rdlen bytes of data.
    message_builder& record(size_t rdlen) {
        raw({0xC0, 12, 0, 16, 0, 1, 0, 0, 0x0E, 0x10});
        bytes.push_back(static_cast<uint8_t>(rdlen >> 8));
        bytes.push_back(static_cast<uint8_t>(rdlen));
        bytes.insert(bytes.end(), rdlen, 'r');
        return *this;
    }
    message_builder& raw(std::initializer_list<uint8_t> b) {
        bytes.insert(bytes.end(), b);
        return *this;
    }
    void put16(size_t at, uint16_t v) {
        bytes[at] = static_cast<uint8_t>(v >> 8);
        bytes[at + 1] = static_cast<uint8_t>(v);
    }
};

inline uint16_t get16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>((b[at] << 8) | b[at + 1]);
}

} // namespace velmora::testing
