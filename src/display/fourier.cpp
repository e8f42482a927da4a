#include "display/fourier.h"

#include <cmath>
#include <numbers>

namespace tw::display {

bool is_power_of_two(long n) { return n >= 2 && (n & (n - 1)) == 0; }

int number_of_bits_needed(long n) {
    for (int bit = 0; bit <= 16; ++bit)
        if (n & (1L << bit)) return bit;
    return 0;
}

int reverse_bits(int index, int bits) {
    int result = 0;
    for (int b = 0; b < bits; ++b) {
        result = result * 2 + (index & 1);
        index >>= 1;
    }
    return result;
}

double frequency_of_index(int n, double i) {
    if (i >= n) return 0;
    if (i <= n / 2) return i / n;
    return -(n - i) / n;
}

std::string_view to_string(FourierStatus status) {
    switch (status) {
    case FourierStatus::ok: return "ok";
    case FourierStatus::bad_size: return "the number of samples is not a power of two";
    case FourierStatus::arrays_too_short: return "an array is shorter than the number of samples";
    }
    return "unknown";
}

std::string fourier_size_message(long num_samples) {
    return "Error in procedure Fourier:\r\n NumSamples is " + std::to_string(num_samples) +
           ", which is not a positive integer power of two.";
}

FourierStatus fourier(long num_samples, std::span<const double> real_in,
                      std::span<const double> imag_in, std::span<double> real_out,
                      std::span<double> imag_out, bool inverse, platform::Dialogs* dialogs) {
    if (!is_power_of_two(num_samples)) {
        if (dialogs) {
            dialogs->message_box(fourier_size_message(num_samples),
                                 std::string(fourier_error_title), platform::DialogIcon::critical);
        }
        return FourierStatus::bad_size;
    }
    const auto n = static_cast<std::size_t>(num_samples);
    if (real_in.size() < n || imag_in.size() < n || real_out.size() < n || imag_out.size() < n)
        return FourierStatus::arrays_too_short;

    const double angle_numerator = inverse ? -2 * std::numbers::pi : 2 * std::numbers::pi;
    const int bits = number_of_bits_needed(num_samples);
    for (std::size_t i = 0; i < n; ++i) {
        const auto j = static_cast<std::size_t>(reverse_bits(static_cast<int>(i), bits));
        real_out[j] = real_in[i];
        imag_out[j] = imag_in[i];
    }

    double* re = real_out.data();
    double* im = imag_out.data();
    std::size_t block_end = 1;
    for (std::size_t block_size = 2; block_size <= n; block_size *= 2) {
        const double delta = angle_numerator / static_cast<double>(block_size);
        const double half = std::sin(delta / 2);
        const double alpha = 2 * half * half;
        const double beta = std::sin(delta);
        for (std::size_t i = 0; i < n; i += block_size) {
            double wr = 1;
            double wi = 0;
            for (std::size_t m = 0; m < block_end; ++m) {
                const std::size_t j = i + m;
                const std::size_t k = j + block_end;
                const double tr = wr * re[k] - wi * im[k];
                const double ti = wr * im[k] + wi * re[k];
                re[k] = re[j] - tr;
                im[k] = im[j] - ti;
                re[j] += tr;
                im[j] += ti;
                const double next_wr = wr - (alpha * wr + beta * wi);
                wi = wi - (alpha * wi - beta * wr);
                wr = next_wr;
            }
        }
        block_end = block_size;
    }

    if (inverse) {
        const double scale = 1.0 / static_cast<double>(n);
        for (std::size_t i = 0; i < n; ++i) {
            re[i] *= scale;
            im[i] *= scale;
        }
    }
    return FourierStatus::ok;
}

}  // namespace tw::display
