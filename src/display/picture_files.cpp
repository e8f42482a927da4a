#include "display/picture_files.h"

#include "config/time_stamp.h"

#include <algorithm>
#include <cctype>
#include <system_error>

namespace tw::display {

PictureFormat picture_format(int drum_format) {
    using platform::ImageFormat;
    switch (drum_format) {
    case 1: return {ImageFormat::gif, 100, ".GIF", ".gif"};
    case 2: return {ImageFormat::jpeg, 40, ".JPG", ".jpg"};
    case 3: return {ImageFormat::jpeg, 75, ".JPG", ".jpg"};
    case 4: return {ImageFormat::jpeg, 90, ".JPG", ".jpg"};
    default: return {};
    }
}

std::string short_date(std::string_view date) {
    if (date.size() != 10 || !config::stamp_seconds(date)) return {};
    std::string text;
    text.append(date.substr(2, 2)).append(date.substr(5, 2)).append(date.substr(8, 2));
    return text;
}

std::optional<std::filesystem::path> find_any_case(const std::filesystem::path& folder,
                                                   std::string_view name) {
    auto same = [name](const std::string& other) {
        return std::equal(other.begin(), other.end(), name.begin(), name.end(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) ==
                   std::tolower(static_cast<unsigned char>(b));
        });
    };
    std::error_code ec;
    const auto exact = folder / name;
    if (std::filesystem::is_regular_file(exact, ec)) return exact;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (same(it->path().filename().string()) && it->is_regular_file(ec)) return it->path();
    }
    return std::nullopt;
}

}  // namespace tw::display
