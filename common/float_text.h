// Figures as text that a person or a program can read back exactly.
#pragma once

#include <array>
#include <charconv>
#include <cmath>
#include <string>

// The shortest text that reads back as the same float; inf, -inf and nan (never -nan).
inline std::string float_text(float value) {
    if (std::isnan(value)) return "nan";
    std::array<char, 32> text;
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
    return std::string(text.data(), result.ptr);
}
