#pragma once
// The day archive: every record is appended to the day file of its stream,
// ROOT/YEAR/NET/STA/CHAN.D/NET.STA.LOC.CHAN.D.YEAR.DAY, the day being that of
// the record's first sample (records never span midnight). A restart of the
// program appends to the same files.
//
// Each file holds whole records only: a file whose size is not a multiple of
// the record length (a write cut short by a power cut) is cut back to its
// last whole record before anything is appended, and a write that the disk
// cuts short is taken back. Written records reach the device at least every
// `sync_interval_ms`, the cadence of the day tracks.
//
// A file that cannot be written (a folder without the right to write, a full
// disk) loses the records meant for it; the first failure of an episode is
// reported once, and so is the first success after it.

#include "datalog/file_ops.h"
#include "stream/channel_codes.h"
#include "stream/record.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tw::stream {

class DayArchive {
public:
    using Report = std::function<void(const std::string& message)>;

    DayArchive(std::filesystem::path root, StreamCodes codes, std::int64_t sync_interval_ms,
               Report report, datalog::FileOps* file_ops = nullptr);
    // Synchronises and closes every file.
    ~DayArchive();
    DayArchive(const DayArchive&) = delete;
    DayArchive& operator=(const DayArchive&) = delete;

    // Appends one record to its day file. `now_ms` is the monotonic time.
    // False when it could not be archived.
    bool write(const Record& record, std::int64_t now_ms);
    // Synchronises the files written since the last synchronisation once
    // `sync_interval_ms` has passed since it.
    void sync_if_due(std::int64_t now_ms);
    // Synchronises and closes every file (STOP); the next record opens its
    // file again.
    void close_all();

    const std::filesystem::path& root() const { return root_; }
    // The file a record of `channel_code` starting at `time_us` goes to.
    std::filesystem::path day_file(std::string_view channel_code, std::int64_t time_us) const;
    std::uint64_t records_written() const { return written_; }
    std::uint64_t records_lost() const { return lost_; }

private:
    struct OpenFile {
        std::string channel;
        std::int64_t day = 0;
        std::filesystem::path path;
        int fd = -1;
        bool unsynced = false;
    };
    OpenFile* file_for(const Record& record, std::string* error);
    void close(OpenFile& file);
    void failed(const std::string& what);
    void succeeded(const std::filesystem::path& path);

    std::filesystem::path root_;
    StreamCodes codes_;
    std::int64_t sync_interval_ms_;
    Report report_;
    datalog::FileOps& ops_;
    std::vector<OpenFile> files_;
    std::int64_t last_sync_ms_ = 0;
    bool failing_ = false;
    std::uint64_t written_ = 0;
    std::uint64_t lost_ = 0;
};

}  // namespace tw::stream
