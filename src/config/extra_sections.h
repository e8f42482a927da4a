#pragma once
// Settings the classic file never had. They stand after "[END GENERAL]" in
// sections named after what they serve ([STREAM], [WEB], [TRIGGER],
// [SENSOR]...), one "KEY=value" line each; per-channel keys carry the channel
// digit ("FILTER1="). The classic part of the file is untouched by them.
//
// Values are kept as texts. Each feature reads its own keys with a default
// and sets back only the values that differ from it, so a station that uses
// none of them keeps the classic file byte for byte.

#include <string>
#include <string_view>
#include <vector>

namespace tw::config {

class ExtraSections {
public:
    // The value of KEY in SECTION, or nullptr when it is not set. Section and
    // key names compare without regard to letter case.
    const std::string* find(std::string_view section, std::string_view key) const;

    // Sets KEY in SECTION (added at the end when new). An empty value removes
    // the key; a section left without keys is dropped.
    void set(std::string_view section, std::string_view key, std::string_view value);
    void erase(std::string_view section, std::string_view key) { set(section, key, {}); }

    // The value as text, or `fallback` when not set.
    std::string text(std::string_view section, std::string_view key,
                     std::string_view fallback = {}) const;

    // The value as a number, or `fallback` when not set. A value that is not
    // a number in full ("12.5", "-3", "1e3") also gives `fallback`, and
    // `problem` (when given) says which setting and why:
    // "[TRIGGER] DURATION1=abc is not a number".
    double number(std::string_view section, std::string_view key, double fallback,
                  std::string* problem = nullptr) const;

    bool empty() const { return sections_.empty(); }

    // "[SECTION]\r\n" then "KEY=value\r\n" per key, sections and keys in the
    // order they were first set.
    std::string format() const;

    bool operator==(const ExtraSections&) const = default;

private:
    struct Entry {
        std::string key;
        std::string value;
        bool operator==(const Entry&) const = default;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
        bool operator==(const Section&) const = default;
    };
    std::vector<Section> sections_;
};

// The text of a number as the settings file keeps it: shortest form that
// reads back to the same value, "." as decimal point whatever the locale.
std::string extra_number_text(double value);

}  // namespace tw::config
