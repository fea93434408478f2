/* SPDX-License-Identifier: GPL-2.0 */
// Model of the pan/tilt/zoom head: each axis moves at the speed of the last
// command until it is stopped or reaches its limit. Time is passed in by
// the caller (microseconds of a monotonic clock), so tests drive it exactly.
#pragma once

#include "protocol.h"

#include <cstdint>
#include <optional>
#include <string>

namespace visca {

// Positions in VISCA units: pan and tilt as the position inquiry reports
// them (signed), zoom from 0 (wide) to 0x4000 (tele).
inline constexpr int kPanMin = -0x0990;
inline constexpr int kPanMax = 0x0990;
inline constexpr int kTiltMin = -0x01B0;
inline constexpr int kTiltMax = 0x0510;
inline constexpr int kZoomMin = 0;
inline constexpr int kZoomMax = 0x4000;

// Axis rates in units per second.
inline constexpr int kPanUnitsPerSpeedStep = 100;   // pan speed 0x01..0x18
inline constexpr int kTiltUnitsPerSpeedStep = 100;  // tilt speed 0x01..0x17
inline constexpr int kZoomUnitsPerSpeedStep = 512;  // zoom speed 0..7, as step + 1
inline constexpr int kZoomStandardSpeed = 3;

using micros = std::int64_t;

class axis {
 public:
  axis(int min, int max) : min_(min), max_(max) {}
  // Moves at `rate` units/s (signed) until stopped or at a limit.
  void drive(int rate) { rate_ = rate, target_.reset(); }
  // Moves towards `target` at |rate| units/s and stops there.
  void seek(int target, int rate);
  void stop() { rate_ = 0, target_.reset(); }
  void advance(micros dt);
  int position() const;
  bool moving() const { return rate_ != 0; }

 private:
  static constexpr micros kScale = 1000000;  // sub-units per unit
  micros position_ = 0;                      // in units / kScale
  int rate_ = 0;
  std::optional<int> target_;
  int min_;
  int max_;
};

struct head_state {
  int pan;
  int tilt;
  int zoom;
  bool pan_moving;
  bool tilt_moving;
  bool zoom_moving;
};

class head_model {
 public:
  explicit head_model(micros now) : last_(now) {}
  void apply(const pan_tilt_drive &d, micros now);
  void apply(const pan_tilt_home &, micros now);
  void apply(const zoom_drive &z, micros now);
  head_state state(micros now);

  // Clamps a speed into 1..max (pan, tilt) or 0..max (zoom); returns it.
  static int clamp_speed(int speed, int min, int max);

 private:
  void advance(micros now);

  micros last_;
  axis pan_{kPanMin, kPanMax};
  axis tilt_{kTiltMin, kTiltMax};
  axis zoom_{kZoomMin, kZoomMax};
};

// "pan +123 tilt -4 zoom 2048 (pan moving)"
std::string describe(const head_state &s);

}  // namespace visca
