#include "boardsim/command_parser.h"

#include <array>
#include <utility>

namespace tw::boardsim {

std::string_view to_string(CommandType type) {
    switch (type) {
    case CommandType::identify: return "identify";
    case CommandType::set_time_zone: return "set time zone";
    case CommandType::set_clock: return "set clock";
    case CommandType::start_stop: return "start/stop";
    case CommandType::write_trim: return "write trimming";
    case CommandType::read_eeprom: return "read EEPROM";
    case CommandType::lx_go: return "G0T1";
    case CommandType::lx_standby: return "STBY";
    case CommandType::lx_done: return "DONE";
    }
    return "unknown";
}

void CommandParser::feed(std::span<const std::uint8_t> bytes, double now,
                         std::vector<Command>& out) {
    if (text_commands_) {
        feed_text(bytes, out);
    } else {
        feed_orda(bytes, now, out);
    }
}

void CommandParser::feed_orda(std::span<const std::uint8_t> bytes, double now,
                              std::vector<Command>& out) {
    if (!partial_.empty() && now - partial_started_ > partial_timeout_s) partial_.clear();
    for (const std::uint8_t byte : bytes) {
        if (partial_.empty()) {
            if (byte < 0x81 || byte > 0x86) continue;  // preamble or noise
            partial_started_ = now;
        }
        partial_.push_back(byte);
        if (partial_.size() == orda_command_length) {
            const auto type = static_cast<CommandType>(partial_[0] - 0x81);
            out.push_back(Command{type, std::move(partial_)});
            partial_.clear();
        }
    }
}

void CommandParser::feed_text(std::span<const std::uint8_t> bytes, std::vector<Command>& out) {
    static constexpr std::array<std::pair<std::string_view, CommandType>, 3> words{{
        {"G0T1", CommandType::lx_go},
        {"STBY", CommandType::lx_standby},
        {"DONE", CommandType::lx_done},
    }};
    text_.append(bytes.begin(), bytes.end());
    for (;;) {
        std::size_t best = std::string::npos;
        CommandType type = CommandType::lx_go;
        for (const auto& [word, word_type] : words) {
            const std::size_t at = text_.find(word);
            if (at < best) {
                best = at;
                type = word_type;
            }
        }
        if (best == std::string::npos) break;
        const std::size_t end = best + 4;
        out.push_back(Command{type, std::vector<std::uint8_t>(text_.begin() + static_cast<std::ptrdiff_t>(best),
                                                              text_.begin() + static_cast<std::ptrdiff_t>(end))});
        text_.erase(0, end);
    }
    // Keep only what could still begin a command.
    if (text_.size() > 3) text_.erase(0, text_.size() - 3);
}

}  // namespace tw::boardsim
