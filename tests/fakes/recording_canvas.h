#pragma once
// A canvas that records every drawing call in the caller's coordinates, and
// picture files kept in memory, for unit tests of the drawing logic.

#include "platform/canvas.h"
#include "platform/image_files.h"

#include <map>
#include <string>
#include <vector>

namespace tw::fakes {

class RecordingCanvas : public platform::Canvas {
public:
    enum class Kind { clear, box, line, text };
    struct Call {
        Kind kind;
        double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        platform::Color color = platform::colors::black;
        platform::LineStyle style = platform::LineStyle::solid;
        std::string text;
    };
    struct Scale {
        double left, top, right, bottom;
    };

    RecordingCanvas(int pixel_width = 1000, int pixel_height = 200)
        : width_(pixel_width), height_(pixel_height) {}

    int pixel_width() const override { return width_; }
    int pixel_height() const override { return height_; }
    void resize(int pixel_width, int pixel_height) override;
    void set_scale(double left, double top, double right, double bottom) override;
    void clear(platform::Color background) override;
    void fill_box(double x1, double y1, double x2, double y2, platform::Color color) override;
    void line(double x1, double y1, double x2, double y2, platform::Color color,
              platform::LineStyle style) override;
    void text(double x, double y, std::string_view text, platform::Color color,
              platform::TextAlign align, int pixel_size) override;

    std::vector<Call> calls;
    Scale scale{0, 0, 1, 1};
    // The calls of one kind, in order.
    std::vector<Call> of_kind(Kind kind) const;

private:
    int width_;
    int height_;
};

// Saves record the picture's calls under the file name; loads give them back.
class FakeImageFiles : public platform::ImageFiles {
public:
    struct Saved {
        platform::ImageFormat format;
        int quality;
        std::vector<RecordingCanvas::Call> calls;
        int width;
        int height;
    };
    std::unique_ptr<platform::Canvas> create(int pixel_width, int pixel_height) override;
    bool save(const platform::Canvas& picture, const std::filesystem::path& file,
              platform::ImageFormat format, int quality, std::string* error) override;
    bool load(platform::Canvas& picture, const std::filesystem::path& file,
              std::string* error) override;

    std::map<std::filesystem::path, Saved> files;
    bool fail_saves = false;
    int save_count = 0;
};

}  // namespace tw::fakes
