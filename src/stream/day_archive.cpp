#include "stream/day_archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tw::stream {

DayArchive::DayArchive(std::filesystem::path root, StreamCodes codes,
                       std::int64_t sync_interval_ms, Report report, datalog::FileOps* file_ops)
    : root_(std::move(root)),
      codes_(normalize_codes(std::move(codes))),
      sync_interval_ms_(sync_interval_ms),
      report_(std::move(report)),
      ops_(file_ops ? *file_ops : datalog::posix_file_ops()) {}

DayArchive::~DayArchive() { close_all(); }

std::filesystem::path DayArchive::day_file(std::string_view channel_code,
                                           std::int64_t time_us) const {
    const TimeParts t = time_parts(time_us);
    return root_ / day_file_path(codes_, channel_code, t.year, t.day_of_year);
}

void DayArchive::close(OpenFile& file) {
    if (file.fd < 0) return;
    if (file.unsynced && ops_.sync(file.fd) != 0)
        failed("cannot synchronise " + file.path.string() + ": " + std::strerror(errno));
    ::close(file.fd);
    file.fd = -1;
    file.unsynced = false;
}

void DayArchive::close_all() {
    for (auto& file : files_) close(file);
    files_.clear();
}

DayArchive::OpenFile* DayArchive::file_for(const Record& record, std::string* error) {
    const std::string channel(record.seed_channel.data(), record.seed_channel.size());
    const std::int64_t day = day_number(record.start_us);
    OpenFile* slot = nullptr;
    for (auto& file : files_) {
        if (file.channel == channel) slot = &file;
    }
    if (slot && slot->day == day && slot->fd >= 0) return slot;
    if (!slot) {
        OpenFile fresh;
        fresh.channel = channel;
        files_.push_back(std::move(fresh));
        slot = &files_.back();
    }
    close(*slot);
    slot->day = day;
    slot->path = day_file(channel, record.start_us);

    std::error_code ec;
    std::filesystem::create_directories(slot->path.parent_path(), ec);
    const int fd = ops_.open(slot->path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0) {
        *error = "cannot open " + slot->path.string() + ": " + std::strerror(errno);
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0) {
        const auto tail = static_cast<off_t>(info.st_size % static_cast<off_t>(record_length));
        if (tail != 0 && ::ftruncate(fd, info.st_size - tail) == 0 && report_) {
            report_("miniSEED archive: " + slot->path.string() + " ended in a partial record (" +
                    std::to_string(tail) + " bytes), cut back to its last whole record");
        }
    }
    slot->fd = fd;
    return slot;
}

bool DayArchive::write(const Record& record, std::int64_t now_ms) {
    std::string error;
    OpenFile* file = file_for(record, &error);
    if (!file) {
        lost_ += 1;
        failed(error);
        return false;
    }
    struct stat before {};
    const bool sized = ::fstat(file->fd, &before) == 0;
    const long n = ops_.write(file->fd, record.bytes.data(), record.bytes.size());
    if (n != static_cast<long>(record.bytes.size())) {
        const int reason = n < 0 ? errno : ENOSPC;
        // A part of a record would shift every record after it.
        // When even that fails the next opening cuts the file back.
        if (n > 0 && sized && ::ftruncate(file->fd, before.st_size) != 0) lost_ += 0;
        lost_ += 1;
        failed("cannot write " + file->path.string() + ": " + std::strerror(reason));
        close(*file);
        return false;
    }
    file->unsynced = true;
    written_ += 1;
    succeeded(file->path);
    sync_if_due(now_ms);
    return true;
}

void DayArchive::sync_if_due(std::int64_t now_ms) {
    if (now_ms - last_sync_ms_ < sync_interval_ms_) return;
    last_sync_ms_ = now_ms;
    for (auto& file : files_) {
        if (file.fd < 0 || !file.unsynced) continue;
        if (ops_.sync(file.fd) != 0) {
            failed("cannot synchronise " + file.path.string() + ": " + std::strerror(errno));
        } else {
            file.unsynced = false;
        }
    }
}

void DayArchive::failed(const std::string& what) {
    if (failing_) return;
    failing_ = true;
    if (report_)
        report_("miniSEED archive: " + what + "; records are not archived until it can be written");
}

void DayArchive::succeeded(const std::filesystem::path& path) {
    if (!failing_) return;
    failing_ = false;
    if (report_) report_("miniSEED archive: writing again to " + path.string());
}

}  // namespace tw::stream
