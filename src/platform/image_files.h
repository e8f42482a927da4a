#pragma once
// Pictures as files: blank pictures to draw on, saved as BMP, GIF or JPEG,
// and loaded back as the background of a picture.

#include "platform/canvas.h"

#include <filesystem>
#include <memory>
#include <string>

namespace tw::platform {

enum class ImageFormat { bmp, gif, jpeg };

class ImageFiles {
public:
    virtual ~ImageFiles() = default;

    // A white picture of the given size, for drawing headless or in a window.
    virtual std::unique_ptr<Canvas> create(int pixel_width, int pixel_height) = 0;

    // Writes the picture to `file` in `format`; `quality` 1..100 for JPEG.
    // The file is written under a temporary name beside it and renamed, so a
    // crash never leaves half a picture under its name. False (with the
    // reason in `error`) when the file cannot be written.
    virtual bool save(const Canvas& picture, const std::filesystem::path& file, ImageFormat format,
                      int quality, std::string* error) = 0;

    // Reads `file` into `picture`, which takes the image's size and content.
    // False (with the reason in `error`) when the file is missing, damaged or
    // not an image; the picture is then unchanged.
    virtual bool load(Canvas& picture, const std::filesystem::path& file, std::string* error) = 0;
};

}  // namespace tw::platform
