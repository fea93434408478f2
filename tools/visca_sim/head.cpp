// SPDX-License-Identifier: GPL-2.0
#include "head.h"

#include <algorithm>

namespace visca {

void axis::seek(int target, int rate) {
  const int here = position();
  if (here == target) {
    stop();
    position_ = static_cast<micros>(target) * kScale;
    return;
  }
  rate_ = here < target ? rate : -rate;
  target_ = target;
}

void axis::advance(micros dt) {
  if (rate_ == 0 || dt <= 0) return;
  micros next = position_ + static_cast<micros>(rate_) * dt;
  micros low = static_cast<micros>(min_) * kScale;
  micros high = static_cast<micros>(max_) * kScale;
  if (target_) {
    const micros t = static_cast<micros>(*target_) * kScale;
    (rate_ > 0 ? high : low) = t;
  }
  if (next <= low || next >= high) {
    next = std::clamp(next, low, high);
    stop();
  }
  position_ = next;
}

int axis::position() const {
  // Round towards zero so that a short move reads as what it covered.
  return static_cast<int>(position_ / kScale);
}

int head_model::clamp_speed(int speed, int min, int max) { return std::clamp(speed, min, max); }

void head_model::advance(micros now) {
  const micros dt = now - last_;
  if (dt <= 0) return;
  pan_.advance(dt);
  tilt_.advance(dt);
  zoom_.advance(dt);
  last_ = now;
}

void head_model::apply(const pan_tilt_drive &d, micros now) {
  advance(now);
  const int pan_rate = clamp_speed(d.pan_speed, 1, kPanSpeedMax) * kPanUnitsPerSpeedStep;
  const int tilt_rate = clamp_speed(d.tilt_speed, 1, kTiltSpeedMax) * kTiltUnitsPerSpeedStep;
  switch (d.pan) {
    case pan_direction::left:
      pan_.drive(-pan_rate);
      break;
    case pan_direction::right:
      pan_.drive(pan_rate);
      break;
    case pan_direction::stop:
      pan_.stop();
      break;
  }
  switch (d.tilt) {
    case tilt_direction::up:
      tilt_.drive(tilt_rate);
      break;
    case tilt_direction::down:
      tilt_.drive(-tilt_rate);
      break;
    case tilt_direction::stop:
      tilt_.stop();
      break;
  }
}

void head_model::apply(const pan_tilt_home &, micros now) {
  advance(now);
  pan_.seek(0, kPanSpeedMax * kPanUnitsPerSpeedStep);
  tilt_.seek(0, kTiltSpeedMax * kTiltUnitsPerSpeedStep);
}

void head_model::apply(const zoom_drive &z, micros now) {
  advance(now);
  const int step = z.speed < 0 ? kZoomStandardSpeed : clamp_speed(z.speed, 0, kZoomSpeedMax);
  const int rate = (step + 1) * kZoomUnitsPerSpeedStep;
  switch (z.direction) {
    case zoom_direction::tele:
      zoom_.drive(rate);
      break;
    case zoom_direction::wide:
      zoom_.drive(-rate);
      break;
    case zoom_direction::stop:
      zoom_.stop();
      break;
  }
}

head_state head_model::state(micros now) {
  advance(now);
  return {pan_.position(), tilt_.position(), zoom_.position(),
          pan_.moving(),   tilt_.moving(),   zoom_.moving()};
}

std::string describe(const head_state &s) {
  auto signed_text = [](int v) { return (v > 0 ? "+" : "") + std::to_string(v); };
  std::string text = "pan " + signed_text(s.pan) + " tilt " + signed_text(s.tilt) + " zoom " +
                     std::to_string(s.zoom);
  std::string moving;
  for (auto [flag, name] : {std::pair{s.pan_moving, "pan"}, std::pair{s.tilt_moving, "tilt"},
                            std::pair{s.zoom_moving, "zoom"}})
    if (flag) moving += (moving.empty() ? "" : ", ") + std::string(name);
  if (!moving.empty()) text += " (moving: " + moving + ")";
  return text;
}

}  // namespace visca
