/* SPDX-License-Identifier: GPL-2.0 */
// VISCA packets as the camera head sees them: decoding of the commands and
// inquiries the head understands, and the replies it sends back.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace visca {

using bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kTerminator = 0xFF;
// Replies come from camera 1: (1 + 8) << 4.
inline constexpr std::uint8_t kReplyHeader = 0x90;
// Commands run in socket 1 of the camera.
inline constexpr std::uint8_t kSocket = 1;

// Speed ranges of the head; out-of-range speeds are clamped (see
// pan_tilt_drive::clamped).
inline constexpr int kPanSpeedMax = 0x18;
inline constexpr int kTiltSpeedMax = 0x17;
inline constexpr int kZoomSpeedMax = 7;

enum class pan_direction { left, right, stop };
enum class tilt_direction { up, down, stop };
enum class zoom_direction { stop, tele, wide };

// 8x 01 06 01 VV WW 0p 0q FF
struct pan_tilt_drive {
  int pan_speed;
  int tilt_speed;
  pan_direction pan;
  tilt_direction tilt;
};
// 8x 01 06 04 FF
struct pan_tilt_home {};
// 8x 01 04 07 00|02|03|2p|3p FF; speed is -1 for the standard speed.
struct zoom_drive {
  zoom_direction direction;
  int speed;
};
// 8x 09 06 12 FF
struct pan_tilt_position_inquiry {};
// 8x 09 04 47 FF
struct zoom_position_inquiry {};
// Well-formed, but not something this head knows.
struct unknown {};
// Not a VISCA packet, or a known command with a malformed body.
struct malformed {
  std::string reason;
};

using message = std::variant<pan_tilt_drive, pan_tilt_home, zoom_drive, pan_tilt_position_inquiry,
                             zoom_position_inquiry, unknown, malformed>;

message parse(const bytes &packet);
// True for inquiries (one reply) as opposed to commands (two replies).
bool is_inquiry(const message &m);

bytes ack();
bytes completion();
bytes syntax_error();
// y0 50 0w 0w 0w 0w 0z 0z 0z 0z FF: pan then tilt, signed 16 bit, one nibble
// per byte.
bytes pan_tilt_position_reply(int pan, int tilt);
// y0 50 0p 0q 0r 0s FF
bytes zoom_position_reply(int zoom);

// "81 01 06 04 FF"
std::string hex(const bytes &data);
// A short human-readable account, e.g. "pan-tilt drive right (pan speed 0x17)".
std::string describe(const message &m);

}  // namespace visca
