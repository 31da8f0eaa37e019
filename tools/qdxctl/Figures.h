// Measured figures as the summaries print them: fixed decimals in the text,
// and rounded to the same digits in JSON, so both read alike.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>

namespace qdx::ctl {

inline std::string fixed(double value, int decimals)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

inline double rounded(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

}  // namespace qdx::ctl
