// The portable float writer and reader, which the WebAssembly build uses for want of the standard
// library's floating-point to_chars and from_chars, against those very functions here.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common/float_text.h"

namespace {

template <typename Real>
std::string standard_text(Real value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

template <typename Real, typename Bits>
Real from_bits(Bits bits) {
    Real value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Counts the values whose texts differ, and keeps the first few for the message.
template <typename Real>
struct Differences {
    std::size_t count = 0;
    std::string first;

    void check(Real value) {
        const std::string expected = standard_text(value), actual = portable_shortest_text(value);
        if (expected == actual) return;
        if (++count <= 5) first += " " + expected + " (portable " + actual + ")";
    }
};

TEST(PortableFloatText, EqualsToCharsForFloatsAcrossEveryExponent) {
    Differences<float> differences;
    // Every 4,099th bit pattern, a prime stride: each exponent, both signs, subnormals, inf and nan.
    for (std::uint64_t bits = 0; bits <= 0xffffffffu; bits += 4099) differences.check(from_bits<float>(std::uint32_t(bits)));
    EXPECT_EQ(differences.count, 0u) << differences.first;
}

TEST(PortableFloatText, EqualsToCharsNextToEveryPowerOfTwoAndTen) {
    Differences<float> f;
    Differences<double> d;
    for (int e = -150; e <= 128; ++e) {
        const float p = std::ldexp(1.0f, e);
        for (float v : {p, std::nextafter(p, 0.0f), std::nextafter(p, INFINITY)}) f.check(v);
    }
    for (int e = -1075; e <= 1024; ++e) {
        const double p = std::ldexp(1.0, e);
        for (double v : {p, std::nextafter(p, 0.0), std::nextafter(p, INFINITY)}) d.check(v);
    }
    for (int e = -45; e <= 38; ++e) {
        const float p = std::pow(10.0f, float(e));
        for (float v : {p, std::nextafter(p, 0.0f), std::nextafter(p, INFINITY)}) f.check(v);
    }
    for (int e = -323; e <= 308; ++e) {
        const double p = std::pow(10.0, e);
        for (double v : {p, std::nextafter(p, 0.0), std::nextafter(p, INFINITY)}) d.check(v);
    }
    EXPECT_EQ(f.count, 0u) << f.first;
    EXPECT_EQ(d.count, 0u) << d.first;
}

TEST(PortableFloatText, EqualsToCharsForRandomFloatsAndDoubles) {
    std::mt19937_64 random(20240611);
    Differences<float> f;
    Differences<double> d;
    for (int i = 0; i < 150000; ++i) {
        f.check(from_bits<float>(std::uint32_t(random())));
        d.check(from_bits<double>(std::uint64_t(random())));
        // Figures such as the model's: near 1, short decimals.
        f.check(float(int(random() % 2000000) - 1000000) / 1000.0f);
    }
    EXPECT_EQ(f.count, 0u) << f.first;
    EXPECT_EQ(d.count, 0u) << d.first;
}

TEST(PortableFloatText, WritesTheLiteralFormsOfFiguresTheReportsHold) {
    EXPECT_EQ(portable_shortest_text(0.42f), "0.42");
    EXPECT_EQ(portable_shortest_text(-0.0f), "-0");
    EXPECT_EQ(portable_shortest_text(1e10f), "1e+10");
    EXPECT_EQ(portable_shortest_text(123456792.0f), "123456792") << "a whole number is written exactly";
    EXPECT_EQ(portable_shortest_text(7.038531e-26f), "7.038531e-26");
    EXPECT_EQ(portable_shortest_text(1e-5f), "1e-05");
    EXPECT_EQ(portable_shortest_text(0.0001f), "1e-04") << "shorter than 0.0001";
    EXPECT_EQ(portable_shortest_text(0.001f), "0.001") << "fixed on a tie";
    EXPECT_EQ(portable_shortest_text(std::numeric_limits<float>::infinity()), "inf");
    EXPECT_EQ(portable_shortest_text(-std::numeric_limits<double>::infinity()), "-inf");
    EXPECT_EQ(portable_shortest_text(std::numeric_limits<float>::quiet_NaN()), "nan");
}

std::optional<double> standard_read(const std::string& text) {
    double value = 0;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || stop != text.data() + text.size()) return std::nullopt;
    return value;
}

TEST(PortableReadDouble, AgreesWithFromCharsOnWhatItTakesAndRefuses) {
    const std::vector<std::string> texts = {
        "0", "-0", "0.56", ".5", "5.", "1e3", "1E-3", "-2.5e+10", "inf", "-INF", "Infinity", "nan", "NaN",
        "1e400", "-1e400", "1e-400", "4.9e-324", "2.2250738585072014e-308", "0x10", "0X1p3", "-0x1", " 1",
        "1 ", "+1", "--1", "-", "", ".", "e5", "1e", "1e+", "abc", "1,5", "0.1.2", "12345678901234567890",
        "179769313486231570000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
        "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
        "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
        "0000000"};
    for (const std::string& text : texts) {
        const std::optional<double> expected = standard_read(text), actual = portable_read_double(text);
        ASSERT_EQ(expected.has_value(), actual.has_value()) << "'" << text << "'";
        if (!expected) continue;
        if (std::isnan(*expected)) {
            EXPECT_TRUE(std::isnan(*actual)) << text;
        } else {
            EXPECT_EQ(*expected, *actual) << text;
            EXPECT_EQ(std::signbit(*expected), std::signbit(*actual)) << text;
        }
    }
}

TEST(PortableReadDouble, ReadsBackEveryShortestText) {
    std::mt19937_64 random(7);
    for (int i = 0; i < 100000; ++i) {
        const double value = from_bits<double>(std::uint64_t(random()));
        if (!std::isfinite(value)) continue;
        const std::optional<double> back = portable_read_double(portable_shortest_text(value));
        ASSERT_TRUE(back) << portable_shortest_text(value);
        ASSERT_EQ(*back, value) << portable_shortest_text(value);
    }
}

}  // namespace
