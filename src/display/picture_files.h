#pragma once
// Picture files of the displays in the drums folder: the format and the
// extensions that `drum_format` gives, and finding a saved picture whatever
// the letter case of its name (pictures are saved with an upper-case
// extension and looked for with a lower-case one).

#include "platform/image_files.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tw::display {

struct PictureFormat {
    platform::ImageFormat format = platform::ImageFormat::bmp;
    int quality = 100;                     // JPEG quality; 100 for the others
    std::string_view save_extension = ".BMP";
    std::string_view load_extension = ".bmp";
};

// 0 BMP, 1 GIF, 2..4 JPEG of quality 40, 75, 90; any other value is BMP.
PictureFormat picture_format(int drum_format);

// "YYMMDD" of a "YYYY/MM/DD" date; empty unless the text is a real date.
std::string short_date(std::string_view date);

// The file of `folder` named `name` when letter case is ignored; nullopt
// when there is none (or the folder cannot be read).
std::optional<std::filesystem::path> find_any_case(const std::filesystem::path& folder,
                                                   std::string_view name);

}  // namespace tw::display
