#include "stream/record_ring.h"

namespace tw::stream {

RecordRing::RecordRing(std::size_t capacity) : capacity_(capacity == 0 ? 1 : capacity) {}

std::uint32_t RecordRing::push(const Record& record) {
    const std::uint32_t sequence = next_;
    const auto slot = static_cast<std::size_t>(pushed_ % capacity_);
    pushed_ += 1;
    if (slots_.size() < capacity_) {
        slots_.push_back(record);
    } else {
        slots_[slot] = record;
    }
    if (count_ < capacity_) count_ += 1;
    next_ = wrap(next_ + 1);
    return sequence;
}

std::size_t RecordRing::available_from(std::uint32_t sequence) const {
    const std::uint32_t behind_next = wrap(next_ - sequence);
    if (behind_next == 0 || behind_next > count_) return 0;
    return behind_next;
}

bool RecordRing::reaches(std::uint32_t sequence) const {
    return wrap(next_ - sequence) <= count_;
}

const Record* RecordRing::find(std::uint32_t sequence) const {
    const std::size_t back = available_from(sequence);
    if (back == 0) return nullptr;
    // Slots follow the count of records pushed, which never wraps.
    return &slots_[static_cast<std::size_t>((pushed_ - back) % capacity_)];
}

const Record* RecordRing::find_number(std::uint64_t number) const {
    if (number < first_number() || number >= pushed_) return nullptr;
    return &slots_[static_cast<std::size_t>(number % capacity_)];
}

std::optional<std::uint64_t> RecordRing::number_of(std::uint32_t sequence) const {
    if (!reaches(sequence)) return std::nullopt;
    return pushed_ - wrap(next_ - sequence);
}

}  // namespace tw::stream
