#pragma once
// What the program would make of the board's bytes: the stream cut into
// packets at the terminators (bytes of 0xF0 and above), each time packet
// beginning a second, each sample packet counted in its second.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tw::boardsim::testing {

using Bytes = std::vector<std::uint8_t>;

struct Stream {
    std::vector<Bytes> time_packets;             // one a second
    std::vector<std::array<int, 4>> per_second;  // sample packets of each channel in that second
    int bad = 0;  // packets of a wrong length, or samples before the first time packet

    // "HH:MM:SS/STATUS/SAMPLES OF CHANNEL 1" of each second, as the board sent them.
    std::vector<std::string> shown() const {
        std::vector<std::string> out;
        for (std::size_t s = 0; s < time_packets.size(); ++s) {
            const Bytes& t = time_packets[s];
            out.push_back(std::to_string(t[3]) + ":" + std::to_string(t[2]) + ":" + std::to_string(t[1]) + "/" +
                          std::to_string(t[4]) + "/" + std::to_string(per_second[s][0]));
        }
        return out;
    }
    int second_of_day(std::size_t s) const {
        return time_packets[s][3] * 3600 + time_packets[s][2] * 60 + time_packets[s][1];
    }
};

inline Stream split(const Bytes& stream) {
    Stream out;
    Bytes packet;
    for (const auto b : stream) {
        packet.push_back(b);
        if (b < 0xF0) continue;
        if (packet[0] == 0x81 && packet.size() == 6) {
            out.time_packets.push_back(packet);
            out.per_second.push_back({});
        } else if (packet[0] >= 0x82 && packet[0] <= 0x85 && packet.size() == 4 && !out.per_second.empty()) {
            ++out.per_second.back()[static_cast<std::size_t>(packet[0] - 0x82)];
        } else {
            ++out.bad;
        }
        packet.clear();
    }
    return out;
}

}  // namespace tw::boardsim::testing
