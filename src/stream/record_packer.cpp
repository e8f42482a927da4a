#include "stream/record_packer.h"

#include "stream/channel_codes.h"

#include <libmseed.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tw::stream {

namespace {

// msr_pack packs a full record only when more samples wait than a record
// could ever hold: 7 Steim-2 frames of at most 105 samples each.
constexpr std::size_t most_per_record = 7 * 105;

void copy_code(char* field, std::size_t size, const std::string& code) {
    std::memset(field, 0, size);
    std::memcpy(field, code.data(), std::min(code.size(), size - 1));
}

}  // namespace

RecordPacker::RecordPacker(const std::string& network, const std::string& station,
                           const std::string& location, const std::string& channel_code,
                           int channel, Sink sink)
    : msr_(msr_init(nullptr)), sink_(std::move(sink)) {
    copy_code(msr_->network, sizeof msr_->network, network);
    copy_code(msr_->station, sizeof msr_->station, station);
    copy_code(msr_->location, sizeof msr_->location, location);
    copy_code(msr_->channel, sizeof msr_->channel, channel_code);
    msr_->dataquality = 'D';
    msr_->reclen = static_cast<int32_t>(record_length);
    msr_->encoding = DE_STEIM2;
    msr_->byteorder = 1;
    msr_->sampletype = 'i';
    // Blockette 1001 carries the microseconds of the start time; it fits in
    // the 64 bytes before the first Steim frame together with the others.
    blkt_1001_s b1001{};
    msr_addblockette(msr_, reinterpret_cast<char*>(&b1001), sizeof b1001, 1001, 0);

    prototype_.channel = channel;
    prototype_.type = 'D';
    for (std::size_t i = 0; i < 2; ++i)
        prototype_.location[i] = i < location.size() ? location[i] : ' ';
    for (std::size_t i = 0; i < 3; ++i)
        prototype_.seed_channel[i] = i < channel_code.size() ? channel_code[i] : ' ';
    samples_.reserve(most_per_record + 1);
}

RecordPacker::~RecordPacker() {
    flush();
    msr_->datasamples = nullptr;  // ours, not libmseed's to free
    msr_->numsamples = 0;
    msr_free(&msr_);
}

std::int64_t RecordPacker::time_of(std::int64_t index) const {
    return line_start_us_ + std::llround(static_cast<double>(index) * 1e6 / rate_);
}

void RecordPacker::add(std::int32_t value, std::int64_t time_us, double rate,
                       std::int64_t now_ms) {
    if (!(rate > 0)) return;
    if (line_open_) {
        const std::int64_t expected = time_of(line_index_ + static_cast<std::int64_t>(samples_.size()));
        const double half_period_us = 0.5e6 / rate_;
        if (rate != rate_ || std::fabs(static_cast<double>(time_us - expected)) > half_period_us) {
            break_line();
        } else if (!samples_.empty() && day_number(expected) != day_) {
            flush();
        }
    }
    if (!line_open_) {
        line_open_ = true;
        rate_ = rate;
        line_start_us_ = time_us;
        line_index_ = 0;
    }
    if (samples_.empty()) {
        first_arrival_ms_ = now_ms;
        day_ = day_number(time_of(line_index_));
    }
    samples_.push_back(value);
    if (samples_.size() > most_per_record) pack(false);
}

void RecordPacker::flush() {
    if (!samples_.empty()) pack(true);
}

void RecordPacker::flush_if_older(std::int64_t now_ms, std::int64_t max_age_ms) {
    if (!samples_.empty() && now_ms - first_arrival_ms_ >= max_age_ms) flush();
}

void RecordPacker::break_line() {
    flush();
    line_open_ = false;
    // The first record of a new line starts its differences afresh.
    if (msr_->ststate) std::memset(msr_->ststate, 0, sizeof *msr_->ststate);
}

void RecordPacker::on_record(char* data, int length, void* self) {
    auto& packer = *static_cast<RecordPacker*>(self);
    if (length != static_cast<int>(record_length)) return;
    Record record = packer.prototype_;
    std::memcpy(record.bytes.data(), data, record_length);
    // Number of samples: big-endian 16 bits at byte 30 of the fixed header.
    record.samples = (record.bytes[30] << 8) | record.bytes[31];
    const std::int64_t first = packer.line_index_ + packer.packed_so_far_;
    record.start_us = packer.time_of(first);
    record.end_us = packer.time_of(first + std::max(record.samples - 1, 0));
    stamp_timing(record.bytes, packer.timing_ ? packer.timing_(record.start_us) : RecordTiming{});
    packer.packed_so_far_ += record.samples;
    packer.records_ += 1;
    if (packer.sink_) packer.sink_(record);
}

void RecordPacker::pack(bool flush_all) {
    msr_->datasamples = samples_.data();
    msr_->numsamples = static_cast<int64_t>(samples_.size());
    msr_->samplecnt = msr_->numsamples;
    msr_->samprate = rate_;
    msr_->starttime = time_of(line_index_);
    packed_so_far_ = 0;
    int64_t packed = 0;
    const int result = msr_pack(msr_, &RecordPacker::on_record, this, &packed, flush_all ? 1 : 0, 0);
    msr_->datasamples = nullptr;
    msr_->numsamples = 0;
    if (result < 0) {
        // Nothing sensible can be made of these samples (the library found
        // no memory): they go, and the next sample starts a new line.
        samples_.clear();
        line_open_ = false;
        return;
    }
    const auto n = static_cast<std::size_t>(std::clamp<int64_t>(packed, 0, static_cast<int64_t>(samples_.size())));
    samples_.erase(samples_.begin(), samples_.begin() + static_cast<std::ptrdiff_t>(n));
    line_index_ += static_cast<std::int64_t>(n);
}

}  // namespace tw::stream
