#pragma once
// The band filter in front of a channel's trigger detector: a Butterworth
// high-pass, low-pass or band-pass of order 1..8, made by the bilinear
// transform with the corners pre-warped, so that the gain is exactly -3 dB
// at each corner and, in the warped frequency, 1 / sqrt(1 + x^(2 order))
// away from it. It runs as a chain of second-order sections. The recorded
// samples never pass through it: only the detector sees its output.

#include <complex>
#include <string>
#include <vector>

namespace tw::events {

enum class FilterKind { off, high_pass, low_pass, band_pass };

struct FilterDesign {
    FilterKind kind = FilterKind::off;
    int order = 4;
    double low_corner = 0;   // Hz: the high-pass corner, the band's lower edge
    double high_corner = 0;  // Hz: the low-pass corner, the band's upper edge
};

inline constexpr int max_filter_order = 8;

// Why a design cannot run at `rate` samples per second, empty when it can:
// an order outside 1..8, a corner that is not above 0 or not below half the
// rate, a band whose lower edge is not below its upper one. The texts name
// the corner ("low corner 60 Hz is at or above half the rate (50 Hz)").
std::string filter_problem(const FilterDesign& design, double rate);

// y = (b0 x + b1 x[-1] + b2 x[-2]) - a1 y[-1] - a2 y[-2], run in the
// transposed direct form II.
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double z1 = 0, z2 = 0;
};

class BandFilter {
public:
    BandFilter() = default;
    // An unusable design gives a filter that passes the input unchanged.
    BandFilter(const FilterDesign& design, double rate);

    bool active() const { return !sections_.empty(); }
    // One sample through the chain. The first sample after construction or
    // reset() sets the state as if that value had always been the input, so
    // a constant offset raises no step in the output.
    double filter(double x) {
        if (!primed_) prime(x);
        for (Biquad& s : sections_) {
            const double y = s.b0 * x + s.z1;
            s.z1 = s.b1 * x - s.a1 * y + s.z2;
            s.z2 = s.b2 * x - s.a2 * y;
            x = y;
        }
        return x;
    }
    void reset() { primed_ = false; }

    // The complex gain at `frequency` Hz.
    std::complex<double> response(double frequency) const;
    const std::vector<Biquad>& sections() const { return sections_; }

private:
    void prime(double x);

    std::vector<Biquad> sections_;
    double rate_ = 0;
    bool primed_ = false;
};

// The gain the design promises at `frequency` (linear, 0..1): the
// Butterworth magnitude in the pre-warped frequency.
double designed_gain(const FilterDesign& design, double rate, double frequency);

std::string filter_kind_text(FilterKind kind);  // "OFF", "HP", "LP", "BP"

}  // namespace tw::events
