#include "display/fourier.h"

#include "fakes/fake_platform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

namespace tw::display {
namespace {

struct Arrays {
    explicit Arrays(std::size_t n) : re_in(n), im_in(n), re_out(n, -7), im_out(n, -7) {}
    FourierStatus run(long n, bool inverse = false, platform::Dialogs* dialogs = nullptr) {
        return fourier(n, re_in, im_in, re_out, im_out, inverse, dialogs);
    }
    std::vector<double> re_in, im_in, re_out, im_out;
};

TEST(Fourier, RefusesSizesThatAreNotPowersOfTwoWithTheMessageAndNoOutput) {
    for (const long n : {3L, 0L, 1L, 1000L}) {
        Arrays a(1024);
        fakes::FakeDialogs dialogs;
        EXPECT_EQ(a.run(n, false, &dialogs), FourierStatus::bad_size) << n;
        ASSERT_EQ(dialogs.shown.size(), 1u) << n;
        EXPECT_EQ(dialogs.shown[0].text, "Error in procedure Fourier:\r\n NumSamples is " +
                                             std::to_string(n) +
                                             ", which is not a positive integer power of two.");
        EXPECT_EQ(dialogs.shown[0].title, "Error!");
        EXPECT_EQ(a.re_out, std::vector<double>(1024, -7)) << n;
    }
    Arrays short_arrays(64);
    EXPECT_EQ(short_arrays.run(128), FourierStatus::arrays_too_short);
    EXPECT_EQ(short_arrays.re_out, std::vector<double>(64, -7));
}

// Every output against the direct sum with the kernel e^(+i 2 pi k n / N),
// then back through the inverse; a constant goes into bin 0 alone.
TEST(Fourier, MatchesTheDirectSumAndTheInverseGivesTheInputBack) {
    std::mt19937 random(12);
    std::uniform_real_distribution<double> value(-30000, 30000);
    for (const long n : {2L, 128L, 256L, 512L}) {
        Arrays a(static_cast<std::size_t>(n));
        const bool constant = n == 128;
        for (auto& v : a.re_in) v = constant ? 250 : value(random);
        for (auto& v : a.im_in) v = constant ? 0 : value(random);
        ASSERT_EQ(a.run(n), FourierStatus::ok);
        EXPECT_TRUE(!constant || std::abs(a.re_out[0] - 128 * 250.0) < 1e-9);
        for (long k = 0; k < n; ++k) {
            std::complex<double> sum;
            for (long t = 0; t < n; ++t)
                sum += std::complex<double>(a.re_in[t], a.im_in[t]) *
                       std::polar(1.0, 2 * std::numbers::pi * double(k * t % n) / double(n));
            ASSERT_LT(std::abs(std::complex<double>(a.re_out[k], a.im_out[k]) - sum), 1e-6 * n * 30000) << n << " bin " << k;
        }
        Arrays back(static_cast<std::size_t>(n));
        back.re_in = a.re_out;
        back.im_in = a.im_out;
        ASSERT_EQ(back.run(n, true), FourierStatus::ok);
        for (long t = 0; t < n; ++t)
            EXPECT_LT(std::hypot(back.re_out[t] - a.re_in[t], back.im_out[t] - a.im_in[t]), 1e-7) << n;
    }
}

}  // namespace
}  // namespace tw::display
