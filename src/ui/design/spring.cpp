#include "design/spring.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {
// Below this distance from the target a spring counts as settled: far under a pixel for any
// distance the window animates.
constexpr double SettleTolerance = 1e-3;

double angularFrequency(const Spring &s)
{
    return 2.0 * std::numbers::pi / std::max(s.response, 1e-6);
}
} // namespace

double Spring::progress(double seconds) const
{
    if (seconds <= 0.0)
        return 0.0;
    if (seconds >= settleTime())
        return 1.0;
    const double w0 = angularFrequency(*this);
    const double zeta = std::max(dampingFraction, 0.0);
    if (zeta < 1.0) {
        const double wd = w0 * std::sqrt(1.0 - zeta * zeta);
        const double decay = std::exp(-zeta * w0 * seconds);
        return 1.0 - decay * (std::cos(wd * seconds) + (zeta * w0 / wd) * std::sin(wd * seconds));
    }
    if (zeta == 1.0)
        return 1.0 - std::exp(-w0 * seconds) * (1.0 + w0 * seconds);
    // Overdamped: sum of two decaying exponentials.
    const double root = std::sqrt(zeta * zeta - 1.0);
    const double r1 = -w0 * (zeta - root);
    const double r2 = -w0 * (zeta + root);
    const double c2 = r1 / (r2 - r1);
    const double c1 = -1.0 - c2;
    return 1.0 + c1 * std::exp(r1 * seconds) + c2 * std::exp(r2 * seconds);
}

double Spring::settleTime() const
{
    const double w0 = angularFrequency(*this);
    const double zeta = std::max(dampingFraction, 0.0);
    if (zeta < 1.0) {
        // The motion lies inside the envelope amplitude * exp(-zeta w0 t).
        const double wd = w0 * std::sqrt(1.0 - zeta * zeta);
        const double amplitude = std::sqrt(1.0 + std::pow(zeta * w0 / wd, 2));
        if (zeta == 0.0)
            return 1e9; // never settles; callers should not use undamped springs
        return std::log(amplitude / SettleTolerance) / (zeta * w0);
    }
    // Critically and overdamped springs approach from below; the slowest exponential decides.
    const double slowest = zeta == 1.0 ? w0 : w0 * (zeta - std::sqrt(zeta * zeta - 1.0));
    double t = std::log(1.0 / SettleTolerance) / slowest;
    // The (1 + w0 t) factor of the critical case needs a little more time; step until inside.
    for (int i = 0; i < 64; ++i) {
        double remaining;
        if (zeta == 1.0) {
            remaining = std::exp(-w0 * t) * (1.0 + w0 * t);
        } else {
            const double root = std::sqrt(zeta * zeta - 1.0);
            const double r1 = -w0 * (zeta - root);
            const double r2 = -w0 * (zeta + root);
            const double c2 = r1 / (r2 - r1);
            remaining = std::abs((-1.0 - c2) * std::exp(r1 * t) + c2 * std::exp(r2 * t));
        }
        if (remaining <= SettleTolerance)
            break;
        t *= 1.1;
    }
    return t;
}

double cubicBezier(double x1, double y1, double x2, double y2, double t01)
{
    const double x = std::clamp(t01, 0.0, 1.0);
    if (x <= 0.0)
        return 0.0;
    if (x >= 1.0)
        return 1.0;
    // Bézier coordinate for parameter u: 3(1-u)^2 u p1 + 3(1-u) u^2 p2 + u^3.
    const auto coord = [](double u, double p1, double p2) {
        const double v = 1.0 - u;
        return 3.0 * v * v * u * p1 + 3.0 * v * u * u * p2 + u * u * u;
    };
    const auto slope = [](double u, double p1, double p2) {
        const double v = 1.0 - u;
        return 3.0 * v * v * p1 + 6.0 * v * u * (p2 - p1) + 3.0 * u * u * (1.0 - p2);
    };
    // Newton steps from x, falling back to bisection where the slope is flat.
    double u = x;
    for (int i = 0; i < 8; ++i) {
        const double error = coord(u, x1, x2) - x;
        if (std::abs(error) < 1e-7)
            return coord(u, y1, y2);
        const double d = slope(u, x1, x2);
        if (std::abs(d) < 1e-6)
            break;
        u = std::clamp(u - error / d, 0.0, 1.0);
    }
    double lo = 0.0, hi = 1.0;
    u = x;
    for (int i = 0; i < 40; ++i) {
        const double value = coord(u, x1, x2);
        if (std::abs(value - x) < 1e-7)
            break;
        (value < x ? lo : hi) = u;
        u = (lo + hi) / 2.0;
    }
    return coord(u, y1, y2);
}

double easeInOut(double t01) { return cubicBezier(0.42, 0.0, 0.58, 1.0, t01); }
double easeOut(double t01) { return cubicBezier(0.0, 0.0, 0.58, 1.0, t01); }
double easeIn(double t01) { return cubicBezier(0.42, 0.0, 1.0, 1.0, t01); }
