/* SPDX-License-Identifier: GPL-2.0 */
// Test-side view of the kernel bench: what the driver under test did, and
// the knobs that make the kernel around it misbehave.
//
// Every area is global, like the kernel it stands in for; kb::reset() puts
// all of them back to their power-on state and each test starts with it.
#ifndef KBENCH_RUNTIME_KBENCH_H
#define KBENCH_RUNTIME_KBENCH_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct miscdevice;
struct device;
struct spinlock;

namespace kb {

// Clears every area (and runs the hooks of extensions, see on_reset).
void reset();

// Lets an extension (mmio, platform, ...) clear its own state in reset().
// Call it from a static initialiser; the hook stays for the whole program.
void on_reset(std::function<void()> hook);

// --- Virtual clock ----------------------------------------------------------
// Starts at 0 and moves only through the delay functions.
uint64_t now_ns();
inline uint64_t now_us() { return now_ns() / 1000; }

// Every delay call, in order: what it was and how long it waited.
struct Delay {
  std::string_view fn;  // "udelay", "msleep", ...
  uint64_t ns;
};
const std::vector<Delay>& delays();

// --- Kernel log ---------------------------------------------------------------
// The level is the digit of the KERN_* prefix, or kLevelDefault when the
// message had none (the kernel then uses its default level).
constexpr int kLevelDefault = -1;
struct LogLine {
  int level;
  std::string text;  // without the level prefix
  uint64_t time_ns;
};
const std::vector<LogLine>& log();
std::vector<std::string> log_texts();
void clear_log();

// --- Rule breaking --------------------------------------------------------------
// What a lockdep/might_sleep kernel would complain about: taking a held lock,
// releasing a free one, sleeping in atomic context, freeing twice ...
const std::vector<std::string>& violations();

// --- Modules ----------------------------------------------------------------------
struct ModuleParam {
  std::string name;
  std::string type;  // as written in module_param: "int", "uint", "charp" ...
  void* value;
  unsigned perm;
  std::string description;
};
struct ModuleInfo {
  std::string name;
  std::multimap<std::string, std::string> tags;  // "license", "description" ...
  std::vector<ModuleParam> params;
  bool loaded = false;
  std::string tag(const std::string& key) const;  // first value or ""
};
// Registered modules (every driver linked into the test program).
const ModuleInfo* module_info(std::string_view module);
// Sets a parameter from text as insmod would; false for an unknown name or
// a value its type does not take. charp values stay valid until reset().
bool set_param(std::string_view module, std::string_view param, std::string_view value);
// Calls the module's init function; returns its result. A module whose init
// fails stays unloaded.
int load(std::string_view module);
// Calls the module's exit function (a violation when it is not loaded).
void unload(std::string_view module);

// --- Misc devices ------------------------------------------------------------------
struct MiscRecord {
  miscdevice* misc;
  int minor;  // the assigned one when MISC_DYNAMIC_MINOR was asked for
};
std::vector<MiscRecord> misc_devices();
miscdevice* find_misc(std::string_view name);
// The next misc_register fails with this error (once).
void fail_next_misc_register(int error);

// An open file on a misc device, driven through its file operations the way
// the VFS would. Opening fails (ok() false, open_result() holds the error)
// when the device is not registered or its open returns an error.
class MiscFile {
 public:
  explicit MiscFile(std::string_view name, unsigned f_flags = 2 /* O_RDWR */);
  ~MiscFile();
  MiscFile(const MiscFile&) = delete;
  MiscFile& operator=(const MiscFile&) = delete;

  bool ok() const { return open_; }
  int open_result() const { return open_result_; }
  // -ENOTTY when the device has no unlocked_ioctl, as the VFS answers.
  long ioctl(unsigned cmd, unsigned long arg);
  long read(uintptr_t user_buf, size_t len);
  long write(uintptr_t user_buf, size_t len);
  int release();  // also done by the destructor when still open

 private:
  miscdevice* misc_ = nullptr;
  struct Impl;  // the inode and file handed to the driver
  std::unique_ptr<Impl> impl_;
  bool open_ = false;
  int open_result_ = 0;
};

// --- User memory ---------------------------------------------------------------------
// A model of the calling process's address space. map() hands out addresses
// with an unmapped gap after each mapping, so a copy that runs past the end
// fails part-way exactly there.
namespace user {
uintptr_t map(size_t len);  // zero-filled
uintptr_t map(const std::vector<uint8_t>& bytes);
uintptr_t map_at(uintptr_t addr, size_t len);  // fixed address
void unmap(uintptr_t addr);
std::vector<uint8_t> read(uintptr_t addr, size_t len);  // test side, must be mapped
void write(uintptr_t addr, const std::vector<uint8_t>& bytes);
// Addresses at or above this are kernel space: access_ok() refuses them.
constexpr uintptr_t kTaskSize = 0xC0000000u;
// A mapped address whose copies fail from the given offset on (a page that
// faults part-way), until reset().
void fault_from(uintptr_t addr, size_t offset);
// The mapping holding addr can be read but not written (copy_to_user fails).
void read_only(uintptr_t addr);
struct Copy {
  bool to_user;
  uintptr_t addr;
  size_t len;
  size_t not_copied;
  uint64_t time_ns;
};
const std::vector<Copy>& copies();
}  // namespace user

// --- Interrupts and locks -----------------------------------------------------------
bool irqs_enabled();
struct IrqEvent {
  uint64_t time_ns;
  bool enabled;  // the state after the event
};
const std::vector<IrqEvent>& irq_events();  // changes only

struct LockEvent {
  uint64_t time_ns;
  std::string name;
  bool acquired;
};
const std::vector<LockEvent>& lock_events();
int locks_held();
int preempt_count();  // preempt_disable() calls not yet undone
bool held(const spinlock* lock);

// --- GPIO ----------------------------------------------------------------------------
namespace gpio {
constexpr unsigned kLines = 256;  // 0 .. kLines-1 exist
struct Line {
  bool requested = false;
  std::string label;
  bool output = false;          // direction
  int out_level = 0;            // what the SoC drives when output
  std::optional<int> external;  // what the outside world drives, if anything
  int pull = 1;                 // level when nobody drives (pull-up by default)
  bool active_low = false;      // honoured by gpiod_*_value, ignored by *_raw_*
  bool absent = false;          // no controller has the number (see set_absent)
  bool can_sleep = false;       // its controller may sleep (see set_can_sleep)
};
const Line& line(unsigned gpio);
// The level on the wire: the SoC's when it drives, else the outside world's,
// else the pull.
int level(unsigned gpio);
// Hardware models drive a line (nullopt: release it).
void drive(unsigned gpio, std::optional<int> level);
void set_pull(unsigned gpio, int level);
void set_active_low(unsigned gpio, bool active_low);
// Why listeners are called: the SoC changed a line through the GPIO API, a
// model changed its drive (drive()), or the SoC is about to sample the line
// (a model may still answer before the value is read).
enum class Source { Soc, External, Sample };
// Called after every change of direction, driven level or external drive,
// and before every sample, with the virtual time unchanged. Changes made by
// a listener are delivered after the current one has reached every
// listener, so all see changes in the order they happened. Listeners stay
// until removed or reset(); remove_listener() is for a model's destructor,
// never from inside a listener, and ignores ids that reset() already dropped.
using Listener = std::function<void(unsigned gpio, Source source)>;
using ListenerId = uint64_t;
ListenerId add_listener(Listener listener);
void remove_listener(ListenerId id);
// Times when the SoC drove a line (push-pull) against hardware that drove
// the other level; the wire then shows the SoC's level. end_ns is empty
// while it lasts.
struct Contention {
  unsigned gpio;
  uint64_t start_ns;
  std::optional<uint64_t> end_ns;
};
const std::vector<Contention>& contentions();
// The next request / direction change of this line fails with the error.
void fail_request(unsigned gpio, int error);
void fail_direction(unsigned gpio, int error, bool persistent = false);
// No GPIO controller has the line (not probed, or no such number), as
// gpiolib sees it: gpio_to_desc() gives NULL, gpio_request() -EPROBE_DEFER,
// and the descriptor calls accept the NULL and do nothing.
void set_absent(unsigned gpio, bool absent = true);
// The line's controller may sleep (an I2C expander, ...): gpiod_cansleep()
// says so, a direction change in atomic context is a violation, and so is
// every non-sleeping get/set of its value (gpiolib warns on each).
void set_can_sleep(unsigned gpio, bool can_sleep = true);
// Lines requested and freed, in order ("+12", "-12").
const std::vector<std::string>& request_log();
// How often the SoC sampled each line.
unsigned samples(unsigned gpio);
}  // namespace gpio

// --- Memory ------------------------------------------------------------------------------
namespace mem {
// The nth allocation from now on (1 = the next) returns NULL.
void fail_nth(unsigned n);
size_t live();  // allocations not yet freed
}  // namespace mem

// Releases the device-managed resources of dev in reverse order, as unbinding does.
void devres_release_all(device* dev);

}  // namespace kb

#endif
