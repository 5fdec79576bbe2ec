// Figures as text that a person or a program can read back exactly.
#pragma once

#include <array>
#include <charconv>
#include <cmath>
#include <string>

// The shortest text that reads back as the same float; inf, -inf and nan (never -nan). Readers that
// take a figure as a double and round that to float (Python, pandas, TOML) get another float from
// the shortest text of a rare few floats, 7.038531e-26 among them; those get the double's shortest
// text, which is exact.
inline std::string float_text(float value) {
    if (std::isnan(value)) return "nan";
    std::array<char, 32> text;
    auto result = std::to_chars(text.data(), text.data() + text.size(), value);
    double back = 0;
    std::from_chars(text.data(), result.ptr, back);
    if (float(back) != value) result = std::to_chars(text.data(), text.data() + text.size(), double(value));
    return std::string(text.data(), result.ptr);
}
