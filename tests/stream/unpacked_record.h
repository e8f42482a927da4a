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
    // The I/O and clock flags and the timing quality of blockette 1001
    // (-1 without one).
    int io_flags = 0;
    int timing_quality = -1;
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
        if (msr->fsdh) out.io_flags = msr->fsdh->io_flags;
        if (msr->Blkt1001) out.timing_quality = msr->Blkt1001->timing_qual;
    }
    msr_free(&msr);
    return out;
}

}  // namespace tw::stream::check
