#pragma once
// A miniSEED record read back with libmseed: its channel code, the time of
// its first sample, its rate and its samples.

#include <libmseed.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tw::stream::check {

struct Unpacked {
    std::string channel;
    std::int64_t start_us = 0;
    double rate = 0;
    std::vector<int> samples;
};

inline Unpacked unpack(std::string bytes) {
    Unpacked out;
    MSRecord* msr = nullptr;
    if (msr_unpack(bytes.data(), static_cast<int>(bytes.size()), &msr, 1, 0) == MS_NOERROR) {
        out.channel = msr->channel;
        out.start_us = msr->starttime;
        out.rate = msr->samprate;
        const auto* data = static_cast<const std::int32_t*>(msr->datasamples);
        out.samples.assign(data, data + msr->numsamples);
    }
    msr_free(&msr);
    return out;
}

}  // namespace tw::stream::check
