#pragma once

#include <QtGlobal>

// Every fixed wait of the dongle protocol (the pause after a slot write, after
// a buffer swap, between ready queries, before a bootloader answer) goes
// through Pacing::wait, so the protocol's timing lives in one place.
//
// Tests switch the waits off with setInstant(true): the protocol then runs at
// the speed of the code, while the waits it asked for are still counted and
// still advance clockUs(), so a simulated device sees the same passage of time
// it would see at real speed. The product never switches pacing off.
// Timer-driven work (discovery, monitoring) runs on real Qt timers, whose
// intervals come from interval() below.
namespace Pacing {

// Blocks the calling thread for `ms` milliseconds (or not at all when instant).
// Non-positive values return at once.
void wait(int ms);

void setInstant(bool instant);

// The interval of a timer-driven step (discovery, monitoring), as armed:
// `ms` divided by the timer scale, at least 1 ms. Tests compress the timers
// with setTimerScale so that a session reaches its radio in milliseconds;
// the order and count of ticks stay as they are. The product keeps scale 1
// but for the simulator's fast mode. The divisor is at least 1.
int interval(int ms);
void setTimerScale(int divisor);

// How long to wait for a device's answer before calling it silent: `ms`
// divided by the timer scale like an interval, but in compressed time never
// under 200 ms (or `ms`, if less), so that a busy machine does not take a
// stall of its own for the device's silence.
int timeout(int ms);

// Monotonic microseconds since the first use, including the waits that were
// skipped while instant.
qint64 clockUs();

// Sum of all waits requested so far, in milliseconds, whether slept or skipped.
qint64 requestedMs();

} // namespace Pacing
