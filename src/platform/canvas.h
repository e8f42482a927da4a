#pragma once
// A picture that the core draws on in coordinates of its own choosing
// (charts, drums, spectrum, review). The Qt side backs it with an image;
// tests use a canvas that records every call.

#include <cstdint>
#include <string_view>

namespace tw::platform {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A colour: a number of the 16-colour palette or an RGB value.
class Color {
public:
    static constexpr Color palette(int index) { return Color(index, Rgb{}); }
    static constexpr Color rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        return Color(-1, Rgb{r, g, b});
    }
    // 0xRRGGBB, as colours are written in the settings and tables.
    static constexpr Color hex(std::uint32_t rrggbb) {
        return rgb(static_cast<std::uint8_t>(rrggbb >> 16), static_cast<std::uint8_t>(rrggbb >> 8),
                   static_cast<std::uint8_t>(rrggbb));
    }

    bool is_palette() const { return index_ >= 0; }
    int palette_index() const { return index_; }
    Rgb to_rgb() const;
    friend bool operator==(const Color& a, const Color& b) { return a.to_rgb() == b.to_rgb(); }

private:
    constexpr Color(int index, Rgb rgb) : index_(index), rgb_(rgb) {}
    int index_;
    Rgb rgb_;
};

// The 16-colour palette: 0 black, 1 blue, 2 green, 3 cyan, 4 red, 5 magenta,
// 6 brown, 7 light grey, 8 grey, 9 light blue, 10 light green, 11 light
// cyan, 12 light red, 13 light magenta, 14 yellow, 15 white. Indexes outside
// 0..15 wrap.
Rgb palette_rgb(int index);

namespace colors {
inline constexpr Color black = Color::palette(0);
inline constexpr Color blue = Color::palette(1);
inline constexpr Color green = Color::palette(2);
inline constexpr Color light_grey = Color::palette(7);
inline constexpr Color grey = Color::palette(8);
inline constexpr Color light_blue = Color::palette(9);
inline constexpr Color light_green = Color::palette(10);
inline constexpr Color light_red = Color::palette(12);
inline constexpr Color yellow = Color::palette(14);
inline constexpr Color white = Color::palette(15);
}  // namespace colors

enum class LineStyle { solid, dotted };

// Where the text lies relative to its point.
enum class TextAlign { left_top, center_top, right_top, left_bottom, center_bottom, right_bottom };

class Canvas {
public:
    virtual ~Canvas() = default;

    // Size of the picture in pixels.
    virtual int pixel_width() const = 0;
    virtual int pixel_height() const = 0;
    // A new size; the picture is cleared to white.
    virtual void resize(int pixel_width, int pixel_height) = 0;

    // The coordinate system of the calls below: x runs from `left` at the
    // left edge to `right` at the right edge, y from `top` at the upper edge
    // to `bottom` at the lower edge (top may be larger than bottom). Points
    // outside are drawn off the picture, clipped at its edges.
    virtual void set_scale(double left, double top, double right, double bottom) = 0;

    // The whole picture in one colour.
    virtual void clear(Color background) = 0;
    // A filled box between two corners, both included.
    virtual void fill_box(double x1, double y1, double x2, double y2, Color color) = 0;
    // A line one pixel wide, both end points included.
    virtual void line(double x1, double y1, double x2, double y2, Color color,
                      LineStyle style = LineStyle::solid) = 0;
    // Text in the sans-serif font, `pixel_size` pixels high.
    virtual void text(double x, double y, std::string_view text, Color color,
                      TextAlign align = TextAlign::left_top, int pixel_size = 12) = 0;
};

}  // namespace tw::platform
