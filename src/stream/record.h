#pragma once
// One miniSEED record as the station sends and archives it.

#include <array>
#include <cstdint>

namespace tw::stream {

// Every record has this many bytes (2^9).
inline constexpr std::size_t record_length = 512;

struct Record {
    std::array<std::uint8_t, record_length> bytes{};
    // Board channel 1..4 whose samples it holds; 0 for a log record.
    int channel = 0;
    // The stream it belongs to: location code (two characters, blank
    // padded), channel code and type ('D' data, 'L' log).
    std::array<char, 2> location{' ', ' '};
    std::array<char, 3> seed_channel{' ', ' ', ' '};
    char type = 'D';
    // Times of the first and of the last sample, microseconds since 1970.
    std::int64_t start_us = 0;
    std::int64_t end_us = 0;
    int samples = 0;
};

}  // namespace tw::stream
