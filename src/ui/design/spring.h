#pragma once

/// @brief A damped spring, evaluated as a pure function of time.
///
/// `response` is the period of the undamped oscillation in seconds; `dampingFraction` is 1 for a
/// critically damped spring and below 1 for one that overshoots a little before settling. Values are
/// read at paint time from the one animation clock, so no spring owns a timer.
struct Spring
{
    double response = 0.4;
    double dampingFraction = 0.8;

    /// Position of the spring moving from 0 to 1: 0 at t <= 0, tends to 1 (may overshoot);
    /// exactly 1 from settleTime() on.
    double progress(double seconds) const;
    /// Time after which the spring is within a thousandth of its target and is treated as at rest.
    double settleTime() const;
};

/// Interpolates from `from` to `to` by a progress value (which may lie outside 0..1).
inline double mix(double from, double to, double progress) { return from + (to - from) * progress; }

/// The common ease-in-out curve (cubic Bézier 0.42, 0, 0.58, 1); t is clamped to 0..1.
double easeInOut(double t01);
/// The common ease-out curve (cubic Bézier 0, 0, 0.58, 1); t is clamped to 0..1.
double easeOut(double t01);
/// The common ease-in curve (cubic Bézier 0.42, 0, 1, 1); t is clamped to 0..1.
double easeIn(double t01);
/// Any cubic Bézier timing curve from (0,0) to (1,1) with control points (x1,y1), (x2,y2).
double cubicBezier(double x1, double y1, double x2, double y2, double t01);
