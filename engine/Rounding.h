#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace tessivo {

// Every integer conversion of a computed value rounds to the nearest integer with ties to even
// (7.5 gives 8, 2.5 gives 2). std::nearbyint does that under the default rounding mode;
// std::round and qRound round halves away from zero and must not be used for this.
// Values that do not fit, and NaN, saturate so that a conversion never has undefined behaviour.
inline std::int64_t RoundEven(double value)
{
    if (std::isnan(value))
        return 0;
    const double r = std::nearbyint(value);
    if (r >= 9.2e18)
        return std::numeric_limits<std::int64_t>::max();
    if (r <= -9.2e18)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(r);
}

// Largest integer not above value, with the same saturation.
inline std::int64_t Floor(double value)
{
    return RoundEven(std::floor(value));
}

} // namespace tessivo
