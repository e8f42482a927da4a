#include "fakes/fake_platform.h"

#include <ctime>

namespace tw::fakes {

namespace {
std::tm to_tm(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900, t.tm_mon = month - 1, t.tm_mday = day;
    t.tm_hour = hour, t.tm_min = minute, t.tm_sec = second;
    return t;
}
// The fake clock refuses to be set when told to, as a system without the right does.
bool refused(bool refuse, std::string* error) {
    if (refuse && error) *error = "cannot set the system clock: Operation not permitted";
    return refuse;
}
std::string format(const std::string& pattern, const platform::DateTime& d) {
    std::tm t = to_tm(d.year, d.month, d.day, d.hour, d.minute, d.second);
    char text[64];
    const size_t n = std::strftime(text, sizeof text, pattern.c_str(), &t);
    return std::string(text, n);
}
}  // namespace

FakeClock::FakeClock() { set(2003, 2, 3, 12, 0, 0); }

void FakeClock::set(int year, int month, int day, int hour, int minute, int second, int ms) {
    std::tm t = to_tm(year, month, day, hour, minute, second);
    epoch_ms_ = static_cast<std::int64_t>(timegm(&t)) * 1000 + ms - real_ms();
}

void FakeClock::advance_ms(std::int64_t ms) {
    epoch_ms_ += ms;
    monotonic_ms_ += ms;
}

platform::DateTime FakeClock::now() const {
    const std::int64_t epoch_ms = epoch_ms_ + real_ms();
    const time_t seconds = static_cast<time_t>(epoch_ms / 1000);
    std::tm t{};
    gmtime_r(&seconds, &t);
    return platform::DateTime{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min,
                              t.tm_sec,         static_cast<int>(epoch_ms % 1000)};
}

double FakeClock::seconds_since_midnight() const {
    const auto n = now();
    return n.hour * 3600.0 + n.minute * 60.0 + n.second + n.millisecond / 1000.0;
}

bool FakeClock::set_time_of_day(int hour, int minute, int second, std::string* error) {
    ++set_time_calls;
    if (refused(refuse_setting, error)) return false;
    const auto n = now();
    set(n.year, n.month, n.day, hour, minute, second);
    return true;
}

bool FakeClock::set_date(int year, int month, int day, std::string* error) {
    ++set_date_calls;
    if (refused(refuse_setting, error)) return false;
    const auto n = now();
    set(year, month, day, n.hour, n.minute, n.second, n.millisecond);
    return true;
}

std::string FakeClock::short_date_text(const platform::DateTime& when) const {
    return format(date_pattern, when);
}

std::string FakeClock::short_time_text(const platform::DateTime& when) const {
    return format(time_pattern, when);
}

void FakeEventPump::process_events(int max_wait_ms) {
    ++calls;
    if (on_process) on_process();
    clock_.advance_ms(max_wait_ms > 0 ? max_wait_ms : 1);
}

void FakeDialogs::message_box(const std::string& text, const std::string& title,
                              platform::DialogIcon) {
    shown.push_back({"message", text, title});
}

bool FakeDialogs::ask_yes_no(const std::string& text, const std::string& title,
                             bool headless_answer) {
    shown.push_back({"question", text, title});
    if (answers.empty()) return headless_answer;
    const bool answer = answers.front();
    answers.erase(answers.begin());
    return answer;
}

std::optional<std::string> FakeDialogs::input_box(const std::string& prompt,
                                                  const std::string& title, const std::string&) {
    shown.push_back({"input", prompt, title});
    if (input_answers.empty()) return input_answer;
    const auto answer = input_answers.front();
    input_answers.erase(input_answers.begin());
    return answer;
}

std::vector<std::string> FakeDialogs::messages() const {
    std::vector<std::string> texts;
    for (const auto& s : shown) texts.push_back(s.text + " | " + s.title);
    return texts;
}

void FakeDialogs::show_warning(const std::string& text, bool) {
    shown.push_back({"warning", text, "Warning!"});
}

bool FakeLauncher::start(const std::string& program, const std::vector<std::string>& arguments,
                         std::string* error) {
    started.push_back({program, arguments});
    if (fail && error) *error = "cannot start " + program + ": No such file or directory";
    return !fail;
}

std::optional<std::uint8_t> FakeIoPorts::read_data(int lpt, std::string* error) {
    if (lpt < 1 || lpt > 3 || missing[lpt]) {
        if (error)
            *error = "LPT" + std::to_string(lpt) + ": /dev/parport" + std::to_string(lpt - 1) + ": No such file or directory";
        return std::nullopt;
    }
    return data[lpt];
}

bool FakeIoPorts::write_data(int lpt, std::uint8_t value, std::string* error) {
    if (!read_data(lpt, error)) return false;
    data[lpt] = value;
    writes.emplace_back(lpt, value);
    return true;
}

bool FakeIoPorts::speaker_tone(int frequency_hz, std::string* error) {
    if (speaker_missing) {
        if (error) *error = "PC speaker: /dev/console: Permission denied";
        return false;
    }
    tones.push_back(frequency_hz);
    return true;
}

bool FakeSound::play_wav(const std::filesystem::path& file, std::string* error) {
    if (fail) {
        if (error) *error = "cannot play " + file.string() + ": No such file or directory";
        return false;
    }
    played.push_back(file);
    return true;
}

}  // namespace tw::fakes
