#pragma once
// The real-time spectrum of the channels whose `fft_enabled` is on.
//
// Every full conditioned sample of such a channel goes into the channel's
// block. When the block holds one sample more than the FFT size, its first
// `size` samples are transformed and the power of bins 1..size/2 is drawn:
// as a spectrum (Scope mode) and, once the board clock is running, as one
// column of the channel's 24-hour spectrogram (JTF) at the minute of day.
// The spectrogram is painted in both modes, so that it has no holes; the
// window shows one or the other.
//
// The spectrogram of a day is worth keeping: when the board date moves on,
// the finished day's picture is saved beside the drums as
// "jtf_YYMMDD_N" + the extension of `drum_format`, and so is the day so far
// at STOP; the first block of a program run loads that day's picture, so a
// restart continues it. A save that fails is reported once in the event list
// and tried again once a minute; the picture goes on being painted meanwhile
// (the new day's first minutes then replace the old day's in the file).
//
// The spectrum window (fft) renders the model below and the picture of the
// chosen channel in the chosen mode. The first sample handed over opens it
// through open_window (set by the windowed program; headless nothing is
// shown and everything else works the same); STOP closes it, and so does
// the first sample after no channel has the spectrum on any more.

#include "config/settings.h"
#include "display/fourier.h"
#include "platform/canvas.h"
#include "platform/dialogs.h"
#include "platform/image_files.h"
#include "supervision/event_list.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace tw::display {

// The power spectrum of one transformed block.
struct SpectrumFrame {
    int size = 0;    // points transformed
    double sps = 0;  // samples per second of the channel
    // power[i] = (re[i]^2 + im[i]^2) / size^2 for the bins i = 1..size/2.
    std::span<const double> power;
    double frequency(double i) const { return frequency_of_index(size, i) * sps; }
};

// The blocks of the four channels and the transform's work arrays, shared by
// the channels: fixed arrays, nothing allocated per block.
class SpectrumBlocks {
public:
    static constexpr int max_size = 512;

    // Stores `s` in the block of channel 1..4. When the fill then exceeds
    // `size` (a power of two up to max_size, as the caller guarantees), the
    // fill starts again at 0, the first `size` samples are transformed and
    // true is returned; power() then holds the bins.
    bool add(int channel, double s, int size, platform::Dialogs* dialogs = nullptr);
    void clear(int channel) { fills_[static_cast<std::size_t>(channel - 1)] = 0; }
    void clear_all() { fills_.fill(0); }
    int fill(int channel) const { return fills_[static_cast<std::size_t>(channel - 1)]; }
    // Bins 0..size/2 of the last transform (bin 0 is not drawn).
    std::span<const double> power() const {
        return {power_.data(), static_cast<std::size_t>(size_ / 2 + 1)};
    }

private:
    std::array<std::array<double, max_size + 1>, 4> blocks_{};
    std::array<int, 4> fills_{};
    std::array<double, max_size + 1> zeros_{};
    std::array<double, max_size + 1> re_{};
    std::array<double, max_size + 1> im_{};
    std::array<double, max_size / 2 + 1> power_{};
    int size_ = 0;
};

// Scope mode: the picture cleared and scaled from 0 Hz to sps / m1 across and
// from scope_bottom to `zoom` up; a dotted black line every hertz; a yellow
// bar per bin, the tops joined by lines from the origin on.
inline constexpr double scope_bottom = -5000;
inline constexpr platform::Color scope_background = platform::colors::grey;
void draw_scope(platform::Canvas& canvas, const SpectrumFrame& frame, double zoom, int m1);

// The colour of a power in the spectrogram: limited to 0..1279 and rounded,
// then black, blue, cyan, green, yellow, red as the value grows.
platform::Rgb jtf_color(double power);
// One column of the spectrogram (scaled 0..1440 minutes across, sps / m1 Hz
// at the top to 0 at the bottom) over the minutes first..minute, each bin
// from the frequency of the bin before it to its own; then the blue marker
// of the writing position at minute + 10 and + 11.
void draw_jtf_column(platform::Canvas& canvas, const SpectrumFrame& frame, int m1,
                     int first_minute, int minute);

enum class SpectrumMode { scope, jtf };

// What the spectrum window shows: its controls and its labels.
struct SpectrumModel {
    static constexpr std::string_view caption = "Real Time Fast Fourier Transform";
    static constexpr int zoom_min = 1;
    static constexpr int zoom_max = 1000;
    static constexpr int zoom_default = 10;

    int fft_size = 512;                      // option128, option256, option512
    SpectrumMode mode = SpectrumMode::scope;  // optionscope, optionjtf
    int fftzoomy = zoom_default;             // Y zoom: the top is 30000000 / fftzoomy
    bool xmagnify = false;                   // right edge a quarter of the Nyquist frequency
    int channel = 1;                         // HScroll1: the channel shown

    std::string fftch = "CH 1";
    std::string visfftzoomy = std::to_string(zoom_default);
    std::string fft_low, fft_mid, fft_high;  // x axis
    std::string fft_top, fft_bottom;         // y axis
    std::string fft_um, fft_um_y;            // x and y units

    std::function<void()> changed;
    void notify() const {
        if (changed) changed();
    }
};

struct SpectrumContext {
    const config::Settings& settings;
    // The board clock: the spectrogram waits for the first second boundary.
    const bool& time_base_ready;
    const double& seconds_of_day;
    const std::string& board_date;  // "YYYY/MM/DD"
    supervision::EventList& event_list;
    platform::Dialogs& dialogs;
    // Pictures; none: the spectrum is computed but nothing is drawn or saved.
    platform::ImageFiles* images = nullptr;
    std::filesystem::path drums_folder;
};

class Spectrum {
public:
    static constexpr int scope_width = 720;
    static constexpr int scope_height = 256;
    static constexpr int jtf_width = 1440;  // one pixel per minute of the day
    static constexpr int jtf_height = 256;  // one pixel per bin of a 512-point block

    explicit Spectrum(SpectrumContext context);
    Spectrum(const Spectrum&) = delete;
    Spectrum& operator=(const Spectrum&) = delete;

    // The windowed program's spectrum window: shown when a sample opens the
    // spectrum, closed when it closes. Either may be empty.
    std::function<void()> open_window;
    std::function<void()> close_window;

    // Every full conditioned sample of every channel.
    void take_sample(int channel, std::int32_t conditioned_sample);
    // The first pass of every (re)start of the board: the blocks start empty.
    void start_run();
    // STOP: the spectrograms drawn since their last save are saved and the
    // window is closed.
    void stop_run();

    // The window was shown / closed by the user (fft_open follows).
    void activate() { open_ = true; }
    void unload() { open_ = false; }
    bool is_open() const { return open_; }

    // The window's controls. A size other than 128, 256 or 512 is ignored;
    // the zoom is limited to zoom_min..zoom_max and the channel to 1..4.
    void set_fft_size(int size);
    void set_mode(SpectrumMode mode);
    void set_zoom(int fftzoomy);
    void set_magnify(bool on);
    void set_channel(int channel);

    // The picture of a channel in a mode (the chosen one when not given);
    // nullptr before the channel's first block.
    const platform::Canvas* picture(int channel) const { return picture(channel, model_.mode); }
    const platform::Canvas* picture(int channel, SpectrumMode mode) const;
    const SpectrumBlocks& blocks() const { return blocks_; }

    SpectrumModel& model() { return model_; }
    const SpectrumModel& model() const { return model_; }

private:
    struct Channel {
        std::unique_ptr<platform::Canvas> scope;
        std::unique_ptr<platform::Canvas> jtf;
        std::string jtf_date;       // the day the spectrogram belongs to
        bool jtf_dirty = false;     // columns painted since the last save
        bool failure_reported = false;
        int last_minute = -1;       // minute of the last column painted
        int last_try_minute = -1;   // minute of the last save tried at a new day
    };

    void open(int channel);
    void close();
    void draw(int channel, const SpectrumFrame& frame);
    void paint_spectrogram(int channel, Channel& ch, const SpectrumFrame& frame, int m1);
    void load_spectrogram(int channel, Channel& ch);
    bool save_spectrogram(int channel, Channel& ch);
    std::string spectrogram_name(int channel, const std::string& date, bool saving) const;
    void set_labels(const SpectrumFrame& frame, int m1, int m2);
    Channel& channel_state(int k) { return channels_[static_cast<std::size_t>(k - 1)]; }

    SpectrumContext context_;
    SpectrumBlocks blocks_;
    SpectrumModel model_;
    std::array<Channel, 4> channels_;
    bool open_ = false;
};

}  // namespace tw::display
