/* SPDX-License-Identifier: GPL-2.0 */
// An I2C slave with 256 8-bit registers on two GPIO lines, decoding what the
// master does edge by edge: it shifts in bits on rising SCL, acknowledges by
// pulling SDA low from the falling edge after the eighth bit to the falling
// edge after the ninth, and drives read data bits from each falling edge.
//
// Register protocol: after the write address, the first byte sets the
// register pointer and further bytes are written at the pointer; after the
// read address, bytes are sent from the pointer. The pointer advances after
// every data byte and wraps from 0xff to 0x00.
#ifndef KBENCH_MODELS_I2C_SLAVE_H
#define KBENCH_MODELS_I2C_SLAVE_H

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kb::models {

class I2cSlave {
 public:
  // The bytes a slave may refuse to acknowledge.
  enum class Stage {
    AddressWrite,  // its address with the write bit
    Register,      // the register byte after it
    Data,          // a value to write
    AddressRead,   // its address with the read bit
  };

  // Bus activity as the slave saw it, one token each:
  //   "S" start, "Sr" repeated start (no stop since the last start), "P" stop,
  //   "D0+" a whole byte with the level on its ninth clock (+ low: acknowledged,
  //   - high: not), whoever sent the byte.
  struct Token {
    uint64_t time_ns;
    std::string text;
  };

  I2cSlave(unsigned scl_gpio, unsigned sda_gpio, uint8_t address7);
  ~I2cSlave();
  I2cSlave(const I2cSlave&) = delete;
  I2cSlave& operator=(const I2cSlave&) = delete;

  uint8_t& reg(uint8_t index);
  uint8_t reg(uint8_t index) const;

  // Do not acknowledge at a stage: always, or only for one register (for
  // Register the byte sent, for Data and AddressRead the register pointer;
  // AddressWrite ignores it). A refused byte leaves the slave waiting for the
  // next start or stop, like a real device.
  void refuse(Stage stage, std::optional<uint8_t> reg = std::nullopt);
  // Acknowledge only when the master takes its nth sample of SDA in the ninth
  // clock (1, the default, is the normal slave that pulls SDA low before SCL
  // rises). Pulling SDA low while SCL is high is outside the protocol; the
  // model allows it to test a master's acknowledge polling.
  void ack_on_sample(unsigned n);

  const std::vector<Token>& tokens() const;
  std::string wire() const;  // token texts joined by spaces
  void clear_tokens();
  // Registers written (index, value) and read (index), in order.
  const std::vector<std::pair<uint8_t, uint8_t>>& writes() const;
  const std::vector<uint8_t>& reads() const;

 private:
  struct State;
  std::unique_ptr<State> state_;  // the GPIO listener points into it
  uint64_t listener_;
};

}  // namespace kb::models

#endif
