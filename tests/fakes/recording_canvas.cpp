#include "fakes/recording_canvas.h"

namespace tw::fakes {

void RecordingCanvas::resize(int pixel_width, int pixel_height) {
    width_ = pixel_width;
    height_ = pixel_height;
    calls.clear();
}

void RecordingCanvas::set_scale(double left, double top, double right, double bottom) {
    scale = {left, top, right, bottom};
}

void RecordingCanvas::clear(platform::Color background) {
    calls.clear();
    calls.push_back({Kind::clear, 0, 0, 0, 0, background, platform::LineStyle::solid, {}});
}

void RecordingCanvas::fill_box(double x1, double y1, double x2, double y2, platform::Color color) {
    calls.push_back({Kind::box, x1, y1, x2, y2, color, platform::LineStyle::solid, {}});
}

void RecordingCanvas::line(double x1, double y1, double x2, double y2, platform::Color color,
                           platform::LineStyle style) {
    calls.push_back({Kind::line, x1, y1, x2, y2, color, style, {}});
}

void RecordingCanvas::text(double x, double y, std::string_view text, platform::Color color,
                           platform::TextAlign, int) {
    calls.push_back({Kind::text, x, y, x, y, color, platform::LineStyle::solid, std::string(text)});
}

std::vector<RecordingCanvas::Call> RecordingCanvas::of_kind(Kind kind) const {
    std::vector<Call> found;
    for (const auto& call : calls)
        if (call.kind == kind) found.push_back(call);
    return found;
}

std::unique_ptr<platform::Canvas> FakeImageFiles::create(int pixel_width, int pixel_height) {
    return std::make_unique<RecordingCanvas>(pixel_width, pixel_height);
}

bool FakeImageFiles::save(const platform::Canvas& picture, const std::filesystem::path& file,
                          platform::ImageFormat format, int quality, std::string* error) {
    ++save_count;
    if (fail_saves) {
        if (error) *error = "cannot write " + file.string() + ": No space left on device";
        return false;
    }
    const auto& canvas = dynamic_cast<const RecordingCanvas&>(picture);
    files[file] = Saved{format, quality, canvas.calls, canvas.pixel_width(), canvas.pixel_height()};
    return true;
}

bool FakeImageFiles::load(platform::Canvas& picture, const std::filesystem::path& file,
                          std::string* error) {
    const auto found = files.find(file);
    if (found == files.end()) {
        if (error) *error = "cannot load " + file.string() + ": No such file or directory";
        return false;
    }
    auto& canvas = dynamic_cast<RecordingCanvas&>(picture);
    canvas.resize(found->second.width, found->second.height);
    canvas.calls = found->second.calls;
    return true;
}

}  // namespace tw::fakes
