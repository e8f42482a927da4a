#pragma once
// The radix-2 complex FFT of the spectrum display and its small helpers.
//
// The transform works in place on the caller's output arrays: no memory is
// taken per call, and the twiddle factors of each stage come from a
// recurrence seeded by two sines, not from a sine per butterfly. The forward
// transform uses the kernel e^(+i 2 pi k n / N); the inverse uses
// e^(-i 2 pi k n / N) and divides by N, so that forward then inverse gives
// the input back.

#include "platform/dialogs.h"

#include <span>
#include <string>
#include <string_view>

namespace tw::display {

// True when n >= 2 and n has exactly one bit set.
bool is_power_of_two(long n);
// Position (0..16) of the lowest set bit of n; 0 when none of bits 0..16 is
// set.
int number_of_bits_needed(long n);
// The lowest `bits` bits of `index` in reverse order.
int reverse_bits(int index, int bits);
// Frequency of bin i of an n-point transform, as a fraction of the sample
// rate: i / n up to n / 2, -(n - i) / n above, 0 for i >= n. The index may
// be fractional (the grid of the spectrum picture uses that).
double frequency_of_index(int n, double i);

enum class FourierStatus {
    ok,
    bad_size,          // N below 2 or not a power of two
    arrays_too_short,  // an array holds fewer than N values
};
std::string_view to_string(FourierStatus status);

inline constexpr std::string_view fourier_error_title = "Error!";
// "Error in procedure Fourier:" CR LF " NumSamples is N, which is not a
// positive integer power of two."
std::string fourier_size_message(long num_samples);

// Transforms the first `num_samples` values of the inputs into the outputs.
// A bad size shows fourier_size_message through `dialogs` (when given) and
// leaves the outputs untouched, as do arrays that are too short.
FourierStatus fourier(long num_samples, std::span<const double> real_in,
                      std::span<const double> imag_in, std::span<double> real_out,
                      std::span<double> imag_out, bool inverse,
                      platform::Dialogs* dialogs = nullptr);

}  // namespace tw::display
