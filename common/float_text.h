// Figures as text that a person or a program can read back exactly.
#pragma once

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <type_traits>

// What std::to_chars(first, last, value) writes for a float or a double, without a format: the
// shortest digits that read back as value, in fixed notation or in scientific (two exponent digits
// at least), whichever is shorter, fixed on a tie; a whole number in fixed notation is written
// exactly. Built from printf and strtod alone, for standard libraries that lack the floating-point
// to_chars (the WebAssembly build's); tests prove it equal to to_chars over many values.
template <typename Real>
std::string portable_shortest_text(Real value) {
    static_assert(std::is_same_v<Real, float> || std::is_same_v<Real, double>);
    if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    const std::string sign = std::signbit(value) ? "-" : "";
    if (value == 0) return sign + "0";
    const double magnitude = std::fabs(double(value));
    const auto reads_back = [&](const char* text) {
        if constexpr (std::is_same_v<Real, float>) return std::strtof(text, nullptr) == Real(magnitude);
        return std::strtod(text, nullptr) == magnitude;
    };
    constexpr int most = std::is_same_v<Real, float> ? 9 : 17;
    char text[40];
    for (int digits = 1; digits <= most; ++digits) {
        std::snprintf(text, sizeof text, "%.*e", digits - 1, magnitude);
        if (reads_back(text)) break;
        if (digits == most) break;  // the nearest of the most digits a type needs always reads back
        // The nearest decimal of this many digits misses; the one on value's other side may still
        // read back, as next to a power of two, whose lower neighbour lies closer. Counted in
        // decimal digits: a double cannot hold the step between decimals of 17 digits.
        const bool above = std::strtod(text, nullptr) > magnitude;
        std::string lead(text, std::size_t(std::strchr(text, 'e') - text));
        int exponent = std::atoi(std::strchr(text, 'e') + 1);
        std::size_t i = lead.size();
        while (i-- > 0) {
            if (lead[i] == '.') continue;
            if (above ? lead[i] != '0' : lead[i] != '9') {
                lead[i] = char(lead[i] + (above ? -1 : 1));
                break;
            }
            lead[i] = above ? '9' : '0';
        }
        if (i == std::size_t(-1)) {  // 9.99 plus one step: 1.00 of the power above
            lead[0] = '1';
            ++exponent;
        } else if (lead[0] == '0') {  // 1.00 less one step: 9.99 of the power below
            lead = std::string(1, '9') + (lead.size() > 1 ? "." + std::string(lead.size() - 2, '9') : "");
            --exponent;
        }
        const std::string other = lead + "e" + std::to_string(exponent);
        if (reads_back(other.c_str())) {
            std::snprintf(text, sizeof text, "%se%+03d", lead.c_str(), exponent);
            break;
        }
    }
    // text is d.ddde±XX: its digits without the point, and its exponent.
    const std::string scientific(text);
    const std::size_t e = scientific.find('e');
    std::string mantissa = scientific.substr(0, e);
    if (mantissa.size() > 1) mantissa.erase(1, 1);
    while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();
    const int exponent = std::atoi(scientific.c_str() + e + 1);
    const int count = int(mantissa.size());

    std::string exponent_text = std::to_string(std::abs(exponent));
    if (exponent_text.size() < 2) exponent_text.insert(0, "0");
    const std::string science = mantissa.substr(0, 1) + (count > 1 ? "." + mantissa.substr(1) : "") + "e" +
                                (exponent < 0 ? "-" : "+") + exponent_text;
    std::string fixed;
    if (exponent >= count - 1) {
        std::snprintf(text, sizeof text, "%.0f", magnitude);  // exact: every such value is whole
        fixed = text;
        if (fixed.size() > science.size()) return sign + science;  // not worth writing out
    } else if (exponent >= 0) {
        fixed = mantissa.substr(0, std::size_t(exponent + 1)) + "." + mantissa.substr(std::size_t(exponent + 1));
    } else {
        fixed = "0." + std::string(std::size_t(-exponent - 1), '0') + mantissa;
    }
    return sign + (fixed.size() <= science.size() ? fixed : science);
}

// What std::from_chars(first, last, value) reads as a double from the whole text, for the same
// standard libraries: an optional '-', then decimal digits with an optional point and exponent, or
// inf, infinity or nan in any case; nothing for other text or a value beyond a double's range.
inline std::optional<double> portable_read_double(const std::string& text) {
    std::size_t at = text.size() > 0 && text[0] == '-' ? 1 : 0;
    if (at >= text.size()) return std::nullopt;
    const char first = text[at];
    // strtod would also take leading space, a '+' and hexadecimal; from_chars takes none of them.
    const bool decimal = (first >= '0' && first <= '9') || first == '.';
    const bool word = first == 'i' || first == 'I' || first == 'n' || first == 'N';
    if (!decimal && !word) return std::nullopt;
    if (first == '0' && at + 1 < text.size() && (text[at + 1] == 'x' || text[at + 1] == 'X')) return std::nullopt;
    errno = 0;
    char* stop = nullptr;
    const double value = std::strtod(text.c_str(), &stop);
    if (stop != text.c_str() + text.size()) return std::nullopt;
    // Beyond the largest double, or below the least: the range error. A subnormal result is read.
    if (errno == ERANGE && (std::isinf(value) || value == 0)) return std::nullopt;
    return value;
}

// The standard library's own where it has them, else the portable ones above.
template <typename Real>
std::string shortest_text(Real value) {
#if defined(__cpp_lib_to_chars)
    std::array<char, 40> text;
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
    return std::string(text.data(), result.ptr);
#else
    return portable_shortest_text(value);
#endif
}

inline std::optional<double> read_double(const std::string& text) {
#if defined(__cpp_lib_to_chars)
    double value = 0;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || stop != text.data() + text.size()) return std::nullopt;
    return value;
#else
    return portable_read_double(text);
#endif
}

// The shortest text that reads back as the same float; inf, -inf and nan (never -nan). Readers that
// take a figure as a double and round that to float (Python, pandas, TOML) get another float from
// the shortest text of a rare few floats, 7.038531e-26 among them; those get the double's shortest
// text, which is exact.
inline std::string float_text(float value) {
    if (std::isnan(value)) return "nan";
    const std::string text = shortest_text(value);
    const std::optional<double> back = read_double(text);
    if (!back || float(*back) != value) return shortest_text(double(value));
    return text;
}
