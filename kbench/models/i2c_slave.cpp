// SPDX-License-Identifier: GPL-2.0
#include "i2c_slave.h"

#include <cstdio>
#include <set>
#include <utility>

#include "kbench.h"

namespace kb::models {

struct I2cSlave::State {
  enum class Mode {
    Idle,      // waiting for a start
    Receive,   // shifting in a byte from the master
    AckOut,    // our ninth clock after a received byte
    Transmit,  // sending a byte to the master
    AckIn,     // the master's ninth clock after our byte
    Ignore,    // not addressed or refused: wait for start or stop
  };
  enum class Kind { Address, Register, Data };

  unsigned scl_gpio, sda_gpio;
  uint8_t address;
  std::array<uint8_t, 256> regs{};
  std::set<std::pair<Stage, int>> refused;  // reg -1: every register
  unsigned ack_sample = 1;

  Mode mode = Mode::Idle;
  Kind kind = Kind::Address;
  bool busy = false;  // between a start and a stop
  bool reading = false;
  int scl = 1, sda = 1;  // levels last seen
  unsigned bits = 0;
  uint8_t shift = 0;
  uint8_t ptr = 0;
  uint8_t byte = 0;          // the byte of the current ninth clock
  bool ack_pending = false;  // a late acknowledge still to be given
  unsigned ack_samples = 0;

  std::vector<Token> tokens;
  std::vector<std::pair<uint8_t, uint8_t>> writes;
  std::vector<uint8_t> reads;

  void token(std::string text) { tokens.push_back({kb::now_ns(), std::move(text)}); }
  void drive_sda(std::optional<int> level) { kb::gpio::drive(sda_gpio, level); }

  bool refuses(Stage stage, uint8_t reg) const {
    return refused.count({stage, -1}) ||
           (stage != Stage::AddressWrite && refused.count({stage, reg}));
  }

  void start() {
    token(busy ? "Sr" : "S");
    busy = true;
    drive_sda(std::nullopt);
    mode = Mode::Receive;
    kind = Kind::Address;
    bits = 0;
    shift = 0;
    ack_pending = false;
  }

  void stop() {
    token("P");
    busy = false;
    drive_sda(std::nullopt);
    mode = Mode::Idle;
    ack_pending = false;
  }

  // Whole byte received: decide the acknowledge and act on the byte.
  bool accept(uint8_t value) {
    switch (kind) {
      case Kind::Address:
        reading = value & 1;
        if ((value >> 1) != address) return false;
        return !refuses(reading ? Stage::AddressRead : Stage::AddressWrite, ptr);
      case Kind::Register:
        if (refuses(Stage::Register, value)) return false;
        ptr = value;
        return true;
      case Kind::Data:
        if (refuses(Stage::Data, ptr)) return false;
        regs[ptr] = value;
        writes.emplace_back(ptr, value);
        ++ptr;
        return true;
    }
    return false;
  }

  void send_next_byte() {
    byte = regs[ptr];
    reads.push_back(ptr);
    ++ptr;
    bits = 0;
    mode = Mode::Transmit;
    drive_sda((byte >> 7) & 1);
  }

  void scl_rise() {
    if (mode == Mode::Receive) {
      shift = uint8_t(shift << 1 | sda);
      ++bits;
    } else if (mode == Mode::Transmit) {
      ++bits;
    }
  }

  void scl_fall() {
    char text[8];
    switch (mode) {
      case Mode::Receive:
        if (bits < 8) return;
        byte = shift;
        mode = Mode::AckOut;
        ack_samples = 0;
        ack_pending = accept(byte);
        if (ack_pending && ack_sample <= 1) {
          ack_pending = false;
          drive_sda(0);
        }
        return;
      case Mode::AckOut: {
        bool acked = sda == 0;
        std::snprintf(text, sizeof(text), "%02X%c", byte, acked ? '+' : '-');
        token(text);
        drive_sda(std::nullopt);
        ack_pending = false;
        if (!acked) {
          mode = Mode::Ignore;
        } else if (kind == Kind::Address && reading) {
          send_next_byte();
        } else {
          kind = kind == Kind::Address ? Kind::Register : Kind::Data;
          mode = Mode::Receive;
          bits = 0;
          shift = 0;
        }
        return;
      }
      case Mode::Transmit:
        if (bits < 8) {
          drive_sda((byte >> (7 - bits)) & 1);
        } else {
          drive_sda(std::nullopt);
          mode = Mode::AckIn;
        }
        return;
      case Mode::AckIn: {
        bool more = sda == 0;
        std::snprintf(text, sizeof(text), "%02X%c", byte, more ? '+' : '-');
        token(text);
        if (more)
          send_next_byte();
        else
          mode = Mode::Ignore;
        return;
      }
      case Mode::Idle:
      case Mode::Ignore:
        return;
    }
  }

  void on_change(unsigned gpio, kb::gpio::Source source) {
    if (gpio == sda_gpio && source == kb::gpio::Source::Sample) {
      // A late acknowledge arrives just before the master's nth sample.
      if (mode == Mode::AckOut && ack_pending && ++ack_samples >= ack_sample) {
        ack_pending = false;
        drive_sda(0);
      }
      return;
    }
    int new_scl = kb::gpio::level(scl_gpio);
    int new_sda = kb::gpio::level(sda_gpio);
    if (gpio == scl_gpio && new_scl != scl) {
      scl = new_scl;
      sda = new_sda;
      if (scl)
        scl_rise();
      else
        scl_fall();
    } else if (gpio == sda_gpio && new_sda != sda) {
      sda = new_sda;
      // SDA moving under a high SCL is a start or stop, unless it is our own
      // (late) acknowledge.
      if (scl && source == kb::gpio::Source::Soc) {
        if (sda)
          stop();
        else
          start();
      }
    }
  }
};

I2cSlave::I2cSlave(unsigned scl_gpio, unsigned sda_gpio, uint8_t address7)
    : state_(std::make_unique<State>()) {
  state_->scl_gpio = scl_gpio;
  state_->sda_gpio = sda_gpio;
  state_->address = address7;
  state_->scl = kb::gpio::level(scl_gpio);
  state_->sda = kb::gpio::level(sda_gpio);
  State* st = state_.get();
  listener_ = kb::gpio::add_listener(
      [st](unsigned gpio, kb::gpio::Source source) { st->on_change(gpio, source); });
}

I2cSlave::~I2cSlave() { kb::gpio::remove_listener(listener_); }

uint8_t& I2cSlave::reg(uint8_t index) { return state_->regs[index]; }
uint8_t I2cSlave::reg(uint8_t index) const { return state_->regs[index]; }

void I2cSlave::refuse(Stage stage, std::optional<uint8_t> reg) {
  state_->refused.insert({stage, reg ? int(*reg) : -1});
}

void I2cSlave::ack_on_sample(unsigned n) { state_->ack_sample = n; }

const std::vector<I2cSlave::Token>& I2cSlave::tokens() const { return state_->tokens; }

std::string I2cSlave::wire() const {
  std::string out;
  for (const Token& t : state_->tokens) {
    if (!out.empty()) out += ' ';
    out += t.text;
  }
  return out;
}

void I2cSlave::clear_tokens() { state_->tokens.clear(); }
const std::vector<std::pair<uint8_t, uint8_t>>& I2cSlave::writes() const { return state_->writes; }
const std::vector<uint8_t>& I2cSlave::reads() const { return state_->reads; }

}  // namespace kb::models
