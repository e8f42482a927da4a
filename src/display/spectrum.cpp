#include "display/spectrum.h"

#include "config/number_text.h"
#include "config/tables.h"
#include "display/picture_files.h"

#include <algorithm>
#include <cmath>

namespace tw::display {

// --- Block step -------------------------------------------------------------------

bool SpectrumBlocks::add(int channel, double s, int size, platform::Dialogs* dialogs) {
    const auto c = static_cast<std::size_t>(channel - 1);
    auto& block = blocks_[c];
    int& fill = fills_[c];
    // The block holds size + 1 samples at most; a fill left by a larger size
    // is transformed by the next sample.
    if (fill > max_size) fill = 0;
    block[static_cast<std::size_t>(fill)] = s;
    ++fill;
    if (fill <= size) return false;
    fill = 0;
    if (fourier(size, block, zeros_, re_, im_, false, dialogs) != FourierStatus::ok) return false;
    size_ = size;
    const double scale = 1.0 / (static_cast<double>(size) * size);
    for (int i = 1; i <= size / 2; ++i) {
        const auto b = static_cast<std::size_t>(i);
        power_[b] = (re_[b] * re_[b] + im_[b] * im_[b]) * scale;
    }
    power_[0] = 0;
    return true;
}

// --- Drawing ----------------------------------------------------------------------

void draw_scope(platform::Canvas& canvas, const SpectrumFrame& frame, double zoom, int m1) {
    using platform::colors::black;
    canvas.clear(scope_background);
    canvas.set_scale(0, zoom, frame.sps / m1, scope_bottom);
    // One grid line per hertz: bin v lies at v / size x sps Hz.
    const double step = frame.size / frame.sps;
    for (double v = 1; v <= frame.size / 2; v += step) {
        const double x = frame.frequency(v);
        canvas.line(x, scope_bottom, x, zoom, black, platform::LineStyle::dotted);
    }
    double x0 = 0;
    double y0 = 0;
    for (int i = 1; i <= frame.size / 2; ++i) {
        const double f = frame.frequency(i);
        const double p = frame.power[static_cast<std::size_t>(i)];
        canvas.line(x0, y0, f, p, platform::colors::yellow);
        canvas.line(f, p, f, 0, platform::colors::yellow);
        canvas.line(f, 0, f, p, platform::colors::yellow);
        x0 = f;
        y0 = p;
    }
}

platform::Rgb jtf_color(double power) {
    const double limited = std::isnan(power) ? 0 : std::clamp(power, 0.0, 1279.0);
    const int v = static_cast<int>(std::lround(limited));
    const auto low = static_cast<std::uint8_t>(v % 256);
    switch (v / 256) {
    case 0: return {0, 0, low};
    case 1: return {0, static_cast<std::uint8_t>(std::min(255, low + 128)), 255};
    case 2: return {0, 255, static_cast<std::uint8_t>(255 - low)};
    case 3: return {low, 255, 0};
    default: return {255, static_cast<std::uint8_t>(255 - low), 0};
    }
}

void draw_jtf_column(platform::Canvas& canvas, const SpectrumFrame& frame, int m1,
                     int first_minute, int minute) {
    canvas.set_scale(0, frame.sps / m1, 1440, 0);
    double below = 0;
    for (int i = 1; i <= frame.size / 2; ++i) {
        const platform::Rgb c = jtf_color(frame.power[static_cast<std::size_t>(i)]);
        const platform::Color color = platform::Color::rgb(c.r, c.g, c.b);
        const double f = frame.frequency(i);
        if (first_minute < minute) {
            canvas.fill_box(first_minute, below, minute, f, color);
        } else {
            canvas.line(minute, below, minute, f, color);
        }
        below = f;
    }
    const platform::Color marker = platform::Color::rgb(0, 0, 255);
    canvas.line(minute + 10, 0, minute + 10, 200, marker);
    canvas.line(minute + 11, 0, minute + 11, 200, marker);
}

// --- The spectrum of the station ------------------------------------------------------

Spectrum::Spectrum(SpectrumContext context) : context_(std::move(context)) {}

void Spectrum::take_sample(int k, std::int32_t conditioned_sample) {
    if (k < 1 || k > 4) return;
    const config::Settings& settings = context_.settings;
    if (settings.channel(k).fft_enabled == 0) {
        // A channel switched off starts a fresh block when it comes back.
        blocks_.clear(k);
        if (open_ && std::none_of(settings.channels.begin(), settings.channels.end(),
                                  [](const auto& c) { return c.fft_enabled != 0; }))
            close();
        return;
    }
    if (!open_) open(k);
    const double sps = config::sps_value(settings.channel(k).sps_code);
    if (!(sps > 0)) {
        blocks_.clear(k);
        return;
    }
    if (!blocks_.add(k, conditioned_sample, model_.fft_size, &context_.dialogs)) return;
    draw(k, SpectrumFrame{model_.fft_size, sps, blocks_.power()});
}

void Spectrum::draw(int k, const SpectrumFrame& frame) {
    const int m1 = model_.xmagnify ? 8 : 2;
    const int m2 = model_.xmagnify ? 16 : 4;
    Channel& ch = channel_state(k);
    if (context_.images && !ch.jtf) {
        ch.scope = context_.images->create(scope_width, scope_height);
        ch.jtf = context_.images->create(jtf_width, jtf_height);
        ch.jtf->clear(platform::colors::black);
    }
    if (model_.mode == SpectrumMode::scope && ch.scope)
        draw_scope(*ch.scope, frame, 30000000.0 / model_.fftzoomy, m1);
    if (ch.jtf && context_.time_base_ready) paint_spectrogram(k, ch, frame, m1);
    if (k == model_.channel) {
        set_labels(frame, m1, m2);
        model_.notify();
    }
}

void Spectrum::paint_spectrogram(int k, Channel& ch, const SpectrumFrame& frame, int m1) {
    const std::string& date = context_.board_date;
    if (short_date(date).empty()) return;
    const int minute = std::clamp(static_cast<int>(std::floor(context_.seconds_of_day / 60)), 0, 1439);
    if (ch.jtf_date.empty()) {
        load_spectrogram(k, ch);
        ch.jtf_date = date;
    } else if (ch.jtf_date != date && ch.last_try_minute != minute) {
        // A new day: the finished one is kept before the first column of the
        // new one (a failed save is tried again at the next minute).
        ch.last_try_minute = minute;
        if (!ch.jtf_dirty || save_spectrogram(k, ch)) {
            ch.jtf_date = date;
            ch.last_minute = -1;
        }
    }
    // A block longer than a minute (slow rates) covers the minutes since the
    // previous column, so the spectrogram has no gaps.
    const int block_minutes = static_cast<int>(std::ceil(frame.size / frame.sps / 60));
    int first = minute;
    if (ch.last_minute >= 0 && ch.last_minute < minute && minute - ch.last_minute <= block_minutes)
        first = ch.last_minute + 1;
    draw_jtf_column(*ch.jtf, frame, m1, first, minute);
    ch.last_minute = minute;
    ch.jtf_dirty = true;
}

std::string Spectrum::spectrogram_name(int k, const std::string& date, bool saving) const {
    const PictureFormat format = picture_format(context_.settings.general.drum_format);
    return "jtf_" + short_date(date) + "_" + std::to_string(k) +
           std::string(saving ? format.save_extension : format.load_extension);
}

void Spectrum::load_spectrogram(int k, Channel& ch) {
    const auto file = find_any_case(context_.drums_folder,
                                    spectrogram_name(k, context_.board_date, false));
    if (!file) return;
    std::string error;
    if (!context_.images->load(*ch.jtf, *file, &error)) {
        context_.event_list.append("Spectrogram image not loaded: " + error);
    } else if (ch.jtf->pixel_width() != jtf_width || ch.jtf->pixel_height() != jtf_height) {
        ch.jtf->resize(jtf_width, jtf_height);
        ch.jtf->clear(platform::colors::black);
    }
}

bool Spectrum::save_spectrogram(int k, Channel& ch) {
    const PictureFormat format = picture_format(context_.settings.general.drum_format);
    const auto file = context_.drums_folder / spectrogram_name(k, ch.jtf_date, true);
    std::string error;
    if (context_.images->save(*ch.jtf, file, format.format, format.quality, &error)) {
        ch.jtf_dirty = false;
        ch.failure_reported = false;
        return true;
    }
    if (!ch.failure_reported) {
        context_.event_list.append("Spectrogram image not saved: " + error);
        ch.failure_reported = true;
    }
    return false;
}

void Spectrum::set_labels(const SpectrumFrame& frame, int m1, int m2) {
    const std::string right = config::plain_number(frame.sps / m1);
    if (model_.mode == SpectrumMode::scope) {
        model_.fft_low = "0";
        model_.fft_mid = config::plain_number(frame.sps / m2);
        model_.fft_high = right;
        model_.fft_top = "100";
        model_.fft_bottom = "0";
        model_.fft_um = "Hz";
        model_.fft_um_y = "%";
    } else {
        model_.fft_low = "0";
        model_.fft_mid = "720";
        model_.fft_high = "1440";
        model_.fft_um = "min.";
        model_.fft_top = right;
        model_.fft_bottom = "0";
        model_.fft_um_y = "Hz";
    }
}

void Spectrum::start_run() { blocks_.clear_all(); }

void Spectrum::stop_run() {
    for (int k = 1; k <= 4; ++k) {
        Channel& ch = channel_state(k);
        if (ch.jtf && ch.jtf_dirty && !ch.jtf_date.empty()) save_spectrogram(k, ch);
    }
    close();
    blocks_.clear_all();
}

void Spectrum::open(int k) {
    open_ = true;
    model_.fft_size = 512;
    set_channel(k);
    if (open_window) open_window();
}

void Spectrum::close() {
    if (!open_) return;
    open_ = false;
    if (close_window) close_window();
}

void Spectrum::set_fft_size(int size) {
    if (size == 128 || size == 256 || size == 512) model_.fft_size = size;
}

void Spectrum::set_mode(SpectrumMode mode) {
    model_.mode = mode;
    model_.notify();
}

void Spectrum::set_zoom(int fftzoomy) {
    model_.fftzoomy = std::clamp(fftzoomy, SpectrumModel::zoom_min, SpectrumModel::zoom_max);
    model_.visfftzoomy = std::to_string(model_.fftzoomy);
    model_.notify();
}

void Spectrum::set_magnify(bool on) { model_.xmagnify = on; }

void Spectrum::set_channel(int k) {
    model_.channel = std::clamp(k, 1, 4);
    model_.fftch = "CH " + std::to_string(model_.channel);
    for (auto* label : {&model_.fft_low, &model_.fft_mid, &model_.fft_high, &model_.fft_top,
                        &model_.fft_bottom})
        label->clear();
    model_.notify();
}

const platform::Canvas* Spectrum::picture(int k, SpectrumMode mode) const {
    if (k < 1 || k > 4) return nullptr;
    const Channel& ch = channels_[static_cast<std::size_t>(k - 1)];
    return mode == SpectrumMode::scope ? ch.scope.get() : ch.jtf.get();
}

}  // namespace tw::display
