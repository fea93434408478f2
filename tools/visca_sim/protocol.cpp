// SPDX-License-Identifier: GPL-2.0
#include "protocol.h"

#include <cstdio>

namespace visca {

namespace {

constexpr std::uint8_t kCommand = 0x01;
constexpr std::uint8_t kInquiry = 0x09;

bytes nibbles(std::uint16_t value, int count) {
  bytes out;
  for (int shift = 4 * (count - 1); shift >= 0; shift -= 4)
    out.push_back(static_cast<std::uint8_t>((value >> shift) & 0x0F));
  return out;
}

message parse_command(const bytes &p) {
  // p holds the packet without its terminator, p[0] the address, p[1] 01.
  const std::size_t n = p.size();
  if (n >= 4 && p[2] == 0x06 && p[3] == 0x01) {
    if (n != 8) return malformed{"pan-tilt drive needs 4 parameter bytes"};
    pan_tilt_drive d{p[4], p[5], pan_direction::stop, tilt_direction::stop};
    switch (p[6]) {
      case 0x01:
        d.pan = pan_direction::left;
        break;
      case 0x02:
        d.pan = pan_direction::right;
        break;
      case 0x03:
        d.pan = pan_direction::stop;
        break;
      default:
        return malformed{"bad pan direction"};
    }
    switch (p[7]) {
      case 0x01:
        d.tilt = tilt_direction::up;
        break;
      case 0x02:
        d.tilt = tilt_direction::down;
        break;
      case 0x03:
        d.tilt = tilt_direction::stop;
        break;
      default:
        return malformed{"bad tilt direction"};
    }
    return d;
  }
  if (n >= 4 && p[2] == 0x06 && p[3] == 0x04)
    return n == 4 ? message{pan_tilt_home{}} : malformed{"home takes no parameters"};
  if (n >= 4 && p[2] == 0x04 && p[3] == 0x07) {
    if (n != 5) return malformed{"zoom needs 1 parameter byte"};
    const std::uint8_t z = p[4];
    if (z == 0x00) return zoom_drive{zoom_direction::stop, 0};
    if (z == 0x02) return zoom_drive{zoom_direction::tele, -1};
    if (z == 0x03) return zoom_drive{zoom_direction::wide, -1};
    if ((z & 0xF0) == 0x20) return zoom_drive{zoom_direction::tele, z & 0x0F};
    if ((z & 0xF0) == 0x30) return zoom_drive{zoom_direction::wide, z & 0x0F};
    return malformed{"bad zoom parameter"};
  }
  return unknown{};
}

message parse_inquiry(const bytes &p) {
  if (p.size() == 4 && p[2] == 0x06 && p[3] == 0x12) return pan_tilt_position_inquiry{};
  if (p.size() == 4 && p[2] == 0x04 && p[3] == 0x47) return zoom_position_inquiry{};
  return unknown{};
}

const char *name(pan_direction d) {
  switch (d) {
    case pan_direction::left:
      return "left";
    case pan_direction::right:
      return "right";
    case pan_direction::stop:
      break;
  }
  return "";
}

const char *name(tilt_direction d) {
  switch (d) {
    case tilt_direction::up:
      return "up";
    case tilt_direction::down:
      return "down";
    case tilt_direction::stop:
      break;
  }
  return "";
}

std::string hex_byte(int value) {
  char text[8];
  std::snprintf(text, sizeof(text), "0x%02X", value & 0xFF);
  return text;
}

}  // namespace

message parse(const bytes &packet) {
  if (packet.size() < 3) return malformed{"shorter than 3 bytes"};
  if (packet.back() != kTerminator) return malformed{"no FF terminator"};
  const bytes body(packet.begin(), packet.end() - 1);
  for (std::uint8_t b : body)
    if (b == kTerminator) return malformed{"FF inside the packet"};
  // Controller 0 to camera 1..7, or 8 for broadcast.
  if ((body[0] & 0xF0) != 0x80 || (body[0] & 0x0F) == 0) return malformed{"bad address byte"};
  if (body[1] == kCommand) return parse_command(body);
  if (body[1] == kInquiry) return parse_inquiry(body);
  return malformed{"neither command (01) nor inquiry (09)"};
}

bool is_inquiry(const message &m) {
  return std::holds_alternative<pan_tilt_position_inquiry>(m) ||
         std::holds_alternative<zoom_position_inquiry>(m);
}

bytes ack() { return {kReplyHeader, 0x40 | kSocket, kTerminator}; }
bytes completion() { return {kReplyHeader, 0x50 | kSocket, kTerminator}; }
bytes syntax_error() { return {kReplyHeader, 0x60, 0x02, kTerminator}; }

bytes pan_tilt_position_reply(int pan, int tilt) {
  bytes out{kReplyHeader, 0x50};
  for (int v : {pan, tilt})
    for (std::uint8_t b : nibbles(static_cast<std::uint16_t>(v), 4)) out.push_back(b);
  out.push_back(kTerminator);
  return out;
}

bytes zoom_position_reply(int zoom) {
  bytes out{kReplyHeader, 0x50};
  for (std::uint8_t b : nibbles(static_cast<std::uint16_t>(zoom), 4)) out.push_back(b);
  out.push_back(kTerminator);
  return out;
}

std::string hex(const bytes &data) {
  std::string out;
  char text[4];
  for (std::uint8_t b : data) {
    std::snprintf(text, sizeof(text), "%02X", b);
    if (!out.empty()) out += ' ';
    out += text;
  }
  return out;
}

std::string describe(const message &m) {
  if (const auto *d = std::get_if<pan_tilt_drive>(&m)) {
    if (d->pan == pan_direction::stop && d->tilt == tilt_direction::stop)
      return "pan-tilt stop (pan speed " + hex_byte(d->pan_speed) + ", tilt speed " +
             hex_byte(d->tilt_speed) + ")";
    std::string text = "pan-tilt drive";
    if (d->tilt != tilt_direction::stop) text += std::string(" ") + name(d->tilt);
    if (d->pan != pan_direction::stop)
      text += std::string(d->tilt != tilt_direction::stop ? "-" : " ") + name(d->pan);
    if (d->pan != pan_direction::stop) text += " (pan speed " + hex_byte(d->pan_speed);
    if (d->tilt != tilt_direction::stop)
      text += std::string(d->pan != pan_direction::stop ? ", " : " (") + "tilt speed " +
              hex_byte(d->tilt_speed);
    return text + ")";
  }
  if (std::holds_alternative<pan_tilt_home>(m)) return "pan-tilt home";
  if (const auto *z = std::get_if<zoom_drive>(&m)) {
    if (z->direction == zoom_direction::stop) return "zoom stop";
    std::string text = z->direction == zoom_direction::tele ? "zoom tele" : "zoom wide";
    return text +
           (z->speed < 0 ? " (standard speed)" : " (speed " + std::to_string(z->speed) + ")");
  }
  if (std::holds_alternative<pan_tilt_position_inquiry>(m)) return "pan-tilt position inquiry";
  if (std::holds_alternative<zoom_position_inquiry>(m)) return "zoom position inquiry";
  if (std::holds_alternative<unknown>(m)) return "unknown command";
  return "malformed: " + std::get<malformed>(m).reason;
}

}  // namespace visca
