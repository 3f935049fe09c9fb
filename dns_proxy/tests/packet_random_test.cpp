// Seeded random inputs through the same invariants as the libFuzzer target, so the packet code
// is exercised under ASan+UBSan in every build, not only where clang is the compiler.
#include "dns_message_builder.h"
#include "packet_invariants.h"

#include <gtest/gtest.h>

#include <random>

using velmora::check_packet_invariants;
using velmora::testing::message_builder;

TEST(velmora_packetrandom, RandomBytesKeepTheInvariants) {
    std::mt19937 rng(20261209);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<size_t> length(0, 4096);
    for (int i = 0; i < 20000; i++) {
        std::vector<uint8_t> msg(i < 600 ? static_cast<size_t>(i) : length(rng));
        for (auto& b : msg) b = static_cast<uint8_t>(byte(rng));
        check_packet_invariants(msg.data(), msg.size());
    }
}

TEST(velmora_packetrandom, MutatedRepliesKeepTheInvariants) {
    // Plausible replies with a few bytes flipped reach the deeper record walk far more often.
    message_builder b;
    b.question("www.example.com");
    for (int i = 0; i < 12; i++) b.record(40);
    b.counts(12, 2, 1);
    const std::vector<uint8_t> base = b.bytes;
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < 20000; i++) {
        std::vector<uint8_t> msg = base;
        std::uniform_int_distribution<size_t> pos(0, msg.size() - 1);
        for (int k = 0; k < 1 + i % 6; k++) msg[pos(rng)] = static_cast<uint8_t>(byte(rng));
        msg.resize(std::uniform_int_distribution<size_t>(0, base.size())(rng));
        check_packet_invariants(msg.data(), msg.size());
    }
}
