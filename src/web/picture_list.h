#pragma once
// The pictures of the drums folder the page offers (GET /api/pictures):
// today's drum of each channel ("drum_N" + the format's extension), the
// archived days ("drum_YYMMDD_N") and the day spectrograms
// ("jtf_YYMMDD_N"). Other files of the folder (state files, temporary
// files of a save in progress) are not listed.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tw::web {

enum class PictureKind { today, archive, spectrogram };

struct PictureFile {
    PictureKind kind = PictureKind::today;
    std::string name;       // the file name in the drums folder
    int channel = 0;        // 1..4
    std::string date;       // "YYMMDD"; empty for today's drum
    std::int64_t modified = 0;  // seconds since 1970
};

// The picture a file name stands for; false for any other name.
bool parse_picture_name(std::string_view name, PictureFile* picture);

// Every listed picture of `folder`, today's drums first (by channel), then
// archives and spectrograms, newest day first. At most max_pictures.
inline constexpr std::size_t max_pictures = 2000;
std::vector<PictureFile> list_pictures(const std::filesystem::path& folder);

// {"pictures":[{"kind":"today"|"archive"|"spectrogram","file":..,"channel":..,
//   "date":..,"modified":..}],"live_spectrograms":[channels]}
std::string pictures_json(const std::vector<PictureFile>& pictures,
                          const std::vector<int>& live_spectrograms);

}  // namespace tw::web
