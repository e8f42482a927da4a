#pragma once

#include "platform/image_files.h"

namespace tw::platform {

// Pictures as QtCanvas; BMP and JPEG through QImageWriter, GIF through
// giflib (Qt writes no GIF), loading through QImageReader.
class QtImageFiles : public ImageFiles {
public:
    std::unique_ptr<Canvas> create(int pixel_width, int pixel_height) override;
    bool save(const Canvas& picture, const std::filesystem::path& file, ImageFormat format,
              int quality, std::string* error) override;
    bool load(Canvas& picture, const std::filesystem::path& file, std::string* error) override;
};

}  // namespace tw::platform
