#pragma once
// The records served to clients: the most recent `capacity` records of
// every stream, each with its sequence number. Sequence numbers count up by
// one per record, modulo 2^24 (six hexadecimal digits on the wire).

#include "stream/record.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tw::stream {

class RecordRing {
public:
    static constexpr std::uint32_t sequence_modulus = 1u << 24;
    // More than an hour of four channels at 200 samples per second even
    // when Steim-2 packs only one sample per word (103 samples per record,
    // 7.8 records per second): 32768 records, 17 MiB.
    static constexpr std::size_t default_capacity = 32768;

    explicit RecordRing(std::size_t capacity = default_capacity);

    // Stores a record under the next sequence number (the oldest record
    // goes when the ring is full) and returns that number.
    std::uint32_t push(const Record& record);

    bool empty() const { return count_ == 0; }
    std::size_t size() const { return count_; }
    std::size_t capacity() const { return capacity_; }
    // Sequence number of the oldest record held, and the one the next record
    // will get.
    std::uint32_t oldest() const { return wrap(next_ - static_cast<std::uint32_t>(count_)); }
    std::uint32_t next() const { return next_; }
    // Records from `sequence` on that the ring holds (0 when it holds none
    // of them, also for a number outside the ring).
    std::size_t available_from(std::uint32_t sequence) const;
    // Whether `sequence` names a record held, or the next one.
    bool reaches(std::uint32_t sequence) const;
    // The record of a sequence number that the ring holds.
    const Record* find(std::uint32_t sequence) const;

    static std::uint32_t wrap(std::uint32_t n) { return n & (sequence_modulus - 1); }

    // The same in full 64-bit numbers, which never wrap: the record pushed
    // k-th since construction has number k (counted from 0); its six-digit
    // number is wrap(k).
    std::uint64_t first_number() const { return pushed_ - count_; }
    std::uint64_t next_number() const { return pushed_; }
    const Record* find_number(std::uint64_t number) const;
    // The full number of a six-digit one that the ring holds or the next
    // one; nullopt when it names neither.
    std::optional<std::uint64_t> number_of(std::uint32_t sequence) const;

private:
    std::size_t capacity_;
    std::vector<Record> slots_;  // grows up to capacity_, then reused
    std::size_t count_ = 0;
    std::uint32_t next_ = 0;
    std::uint64_t pushed_ = 0;  // records pushed since construction
};

}  // namespace tw::stream
