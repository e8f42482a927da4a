#include "stream/datalink_backlog.h"

#include "stream/channel_codes.h"

#include <libmseed.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tw::stream {

namespace {
constexpr std::size_t buffer_records = 128;  // 64 KiB a read
}

std::optional<Record> record_from_bytes(const std::uint8_t* bytes) {
    MSRecord* msr = nullptr;
    std::array<char, record_length> copy{};
    std::copy_n(bytes, record_length, copy.begin());
    if (msr_unpack(copy.data(), static_cast<int>(record_length), &msr, 0, 0) != MS_NOERROR || !msr) {
        if (msr) msr_free(&msr);
        return std::nullopt;
    }
    Record record;
    std::copy_n(bytes, record_length, record.bytes.begin());
    for (std::size_t i = 0; i < 2; ++i) record.location[i] = msr->location[i] ? msr->location[i] : ' ';
    for (std::size_t i = 0; i < 3; ++i) record.seed_channel[i] = msr->channel[i] ? msr->channel[i] : ' ';
    record.type = msr->dataquality;
    record.start_us = msr_starttime(msr);
    record.end_us = msr_endtime(msr);
    record.samples = static_cast<int>(msr->samplecnt);
    msr_free(&msr);
    return record;
}

ArchiveBacklog::ArchiveBacklog(const DayArchive& archive, std::string channel, std::int64_t after_us,
                               std::int64_t last_day)
    : archive_(archive),
      channel_(std::move(channel)),
      after_us_(after_us),
      day_(day_number(after_us)),
      last_day_(last_day),
      buffer_(buffer_records * record_length) {}

ArchiveBacklog::~ArchiveBacklog() { close_day(); }

void ArchiveBacklog::close_day() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    buffered_ = taken_ = 0;
}

std::uint64_t ArchiveBacklog::locate(std::uint64_t records) {
    // The first record starting after after_us_: records before it start at
    // or before it.
    std::uint64_t low = 0, high = records;
    std::array<std::uint8_t, record_length> block{};
    while (low < high) {
        const std::uint64_t middle = low + (high - low) / 2;
        const auto n = ::pread(fd_, block.data(), block.size(), static_cast<off_t>(middle * record_length));
        const auto record = n == static_cast<ssize_t>(record_length) ? record_from_bytes(block.data())
                                                                     : std::nullopt;
        if (record && record->start_us <= after_us_ + same_start_slack_us) {
            low = middle + 1;
        } else {
            high = middle;  // a damaged block is read in order, and skipped there
        }
    }
    return low;
}

bool ArchiveBacklog::open_day() {
    while (fd_ < 0 && day_ <= last_day_) {
        const auto path = archive_.day_file(channel_, day_ * 86400LL * 1000000LL);
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            day_ += 1;
            continue;
        }
        struct stat info {};
        const std::uint64_t records =
            ::fstat(fd_, &info) == 0 ? static_cast<std::uint64_t>(info.st_size) / record_length : 0;
        index_ = day_ == day_number(after_us_) ? locate(records) : 0;
    }
    return fd_ >= 0;
}

std::optional<Record> ArchiveBacklog::next() {
    for (;;) {
        if (!open_day()) return std::nullopt;
        if (taken_ == buffered_) {
            const auto n = ::pread(fd_, buffer_.data(), buffer_.size(),
                                   static_cast<off_t>(index_ * record_length));
            buffered_ = n > 0 ? static_cast<std::size_t>(n) / record_length : 0;
            taken_ = 0;
            if (buffered_ == 0) {
                // The end of this day's file: on to the next day, unless this
                // is the last day, whose file may still grow.
                if (day_ >= last_day_) return std::nullopt;
                close_day();
                day_ += 1;
                continue;
            }
        }
        const std::uint8_t* block = buffer_.data() + taken_ * record_length;
        taken_ += 1;
        index_ += 1;
        const auto record = record_from_bytes(block);
        if (!record) {
            damaged_ += 1;
            continue;
        }
        if (record->start_us <= after_us_ + same_start_slack_us) continue;
        after_us_ = record->start_us;
        return record;
    }
}

}  // namespace tw::stream
