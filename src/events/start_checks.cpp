#include "events/start_checks.h"

#include <algorithm>
#include <cctype>

namespace tw::events {

namespace {

bool usable_in_file_name(unsigned char c) { return c >= 0x20 && c != 0x7F && c != '/' && c != '\\'; }

std::string lower(const std::string& text) {
    std::string out = text;
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return out;
}

}  // namespace

std::optional<StartRefusal> check_file_extensions(const config::Settings& settings) {
    for (int c = 1; c <= 4; ++c) {
        for (int k = 1; k <= 4; ++k) {
            if (c == k) continue;
            if (lower(settings.channel(c).file_extension) == lower(settings.channel(k).file_extension)) {
                return StartRefusal{"Error.", "File extensions mismatch for channel " +
                                                  std::to_string(c) + " and " + std::to_string(k) +
                                                  ". Check [f.extens.] field and retry."};
            }
        }
    }
    for (int c = 1; c <= 4; ++c) {
        const std::string& ext = settings.channel(c).file_extension;
        if (!std::all_of(ext.begin(), ext.end(),
                         [](char ch) { return usable_in_file_name(static_cast<unsigned char>(ch)); })) {
            return StartRefusal{"Error.", "Invalid file extension for channel " + std::to_string(c) +
                                              ". Check [f.extens.] field and retry."};
        }
    }
    return std::nullopt;
}

}  // namespace tw::events
