#include "events/band_filter.h"

#include "config/extra_sections.h"

#include <cmath>
#include <numbers>

namespace tw::events {

namespace {

using Complex = std::complex<double>;

std::string hz(double value) { return config::extra_number_text(value) + " Hz"; }

std::string corner_problem(const char* name, double corner, double rate) {
    if (!(corner > 0) || !std::isfinite(corner)) return std::string(name) + " " + hz(corner) + " must be above 0 Hz";
    if (corner >= rate / 2)
        return std::string(name) + " " + hz(corner) + " is at or above half the rate (" + hz(rate / 2) + ")";
    return {};
}

// tan(pi f / rate): the pre-warped frequency in units of 2 x rate.
double warped(double frequency, double rate) { return std::tan(std::numbers::pi * frequency / rate); }

}  // namespace

std::string filter_kind_text(FilterKind kind) {
    switch (kind) {
    case FilterKind::off: return "OFF";
    case FilterKind::high_pass: return "HP";
    case FilterKind::low_pass: return "LP";
    case FilterKind::band_pass: return "BP";
    }
    return "OFF";
}

std::string filter_problem(const FilterDesign& d, double rate) {
    if (d.kind == FilterKind::off) return {};
    if (d.order < 1 || d.order > max_filter_order)
        return "order " + std::to_string(d.order) + " is not 1 to " + std::to_string(max_filter_order);
    if (!(rate > 0)) return "the channel has no rate";
    if (d.kind != FilterKind::low_pass) {
        if (auto p = corner_problem("low corner", d.low_corner, rate); !p.empty()) return p;
    }
    if (d.kind != FilterKind::high_pass) {
        if (auto p = corner_problem("high corner", d.high_corner, rate); !p.empty()) return p;
    }
    if (d.kind == FilterKind::band_pass && !(d.low_corner < d.high_corner))
        return "low corner " + hz(d.low_corner) + " is not below the high corner " + hz(d.high_corner);
    return {};
}

BandFilter::BandFilter(const FilterDesign& d, double rate) : rate_(rate) {
    if (d.kind == FilterKind::off || !filter_problem(d, rate).empty()) return;
    const int n = d.order;
    // Analog poles in units of 2 x rate (the bilinear transform's constant
    // is then 1), zeros as their digital places: +1 for zeros at s = 0,
    // -1 for those at infinity.
    std::vector<Complex> poles;
    std::vector<double> zeros;
    const double w1 = warped(d.low_corner, rate);
    const double w2 = warped(d.high_corner, rate);
    for (int k = 0; k < n; ++k) {
        const Complex p = std::polar(1.0, std::numbers::pi * (2.0 * k + n + 1) / (2.0 * n));
        switch (d.kind) {
        case FilterKind::low_pass:
            poles.push_back(w2 * p);
            zeros.push_back(-1);
            break;
        case FilterKind::high_pass:
            poles.push_back(w1 / p);
            zeros.push_back(1);
            break;
        case FilterKind::band_pass: {
            const double bandwidth = w2 - w1;
            const Complex root = std::sqrt(p * p * bandwidth * bandwidth - 4 * w1 * w2);
            poles.push_back((p * bandwidth + root) / 2.0);
            poles.push_back((p * bandwidth - root) / 2.0);
            zeros.push_back(1);
            zeros.push_back(-1);
            break;
        }
        case FilterKind::off: break;
        }
    }
    // Bilinear transform, then one section per conjugate pair and one per
    // two real poles (a first-order section for a last real one).
    std::vector<Complex> upper;
    std::vector<double> real;
    for (const Complex& s : poles) {
        const Complex z = (1.0 + s) / (1.0 - s);
        if (std::abs(z.imag()) <= 1e-12) {
            real.push_back(z.real());
        } else if (z.imag() > 0) {
            upper.push_back(z);
        }
    }
    std::size_t next_zero = 0;
    auto add_section = [&](double a1, double a2, int order) {
        Biquad b;
        b.a1 = a1;
        b.a2 = a2;
        const double q1 = zeros.at(next_zero++);
        if (order == 2) {
            const double q2 = zeros.at(next_zero++);
            b.b1 = -(q1 + q2);
            b.b2 = q1 * q2;
        } else {
            b.b1 = -q1;
        }
        sections_.push_back(b);
    };
    for (const Complex& z : upper) add_section(-2 * z.real(), std::norm(z), 2);
    for (std::size_t i = 0; i + 1 < real.size(); i += 2)
        add_section(-(real[i] + real[i + 1]), real[i] * real[i + 1], 2);
    if (real.size() % 2 == 1) add_section(-real.back(), 0, 1);

    // Unit gain where the pass band lies: 0 Hz, half the rate, or the
    // band's centre (geometric in the warped frequency).
    double reference = 0;
    if (d.kind == FilterKind::high_pass) reference = rate / 2;
    if (d.kind == FilterKind::band_pass)
        reference = rate / std::numbers::pi * std::atan(std::sqrt(w1 * w2));
    const double gain = std::abs(response(reference));
    if (gain > 0 && std::isfinite(gain)) {
        sections_.front().b0 /= gain;
        sections_.front().b1 /= gain;
        sections_.front().b2 /= gain;
    }
}

std::complex<double> BandFilter::response(double frequency) const {
    const Complex z1 = std::polar(1.0, -2 * std::numbers::pi * frequency / rate_);  // z^-1
    Complex h = 1;
    for (const Biquad& s : sections_) {
        h *= (s.b0 + z1 * (s.b1 + z1 * s.b2)) / (1.0 + z1 * (s.a1 + z1 * s.a2));
    }
    return h;
}

void BandFilter::prime(double x) {
    primed_ = true;
    for (Biquad& s : sections_) {
        const double y = x * (s.b0 + s.b1 + s.b2) / (1 + s.a1 + s.a2);
        s.z2 = s.b2 * x - s.a2 * y;
        s.z1 = s.b1 * x - s.a1 * y + s.z2;
        x = y;
    }
}

double designed_gain(const FilterDesign& d, double rate, double frequency) {
    const double t = warped(frequency, rate);
    const double t1 = warped(d.low_corner, rate);
    const double t2 = warped(d.high_corner, rate);
    double x = 0;
    switch (d.kind) {
    case FilterKind::off: return 1;
    case FilterKind::low_pass: x = t / t2; break;
    case FilterKind::high_pass: x = t1 / t; break;
    case FilterKind::band_pass: x = (t * t - t1 * t2) / (t * (t2 - t1)); break;
    }
    return 1 / std::sqrt(1 + std::pow(std::abs(x), 2.0 * d.order));
}

}  // namespace tw::events
