// SPDX-License-Identifier: GPL-2.0
// How the sweep makes exactly the N-th allocation fail on Linux 4.9, which
// has no /proc/self/fail-nth: the task filter limits failslab and
// fail_page_alloc to this process while it is marked (/proc/self/make-it-fail,
// set just around the step's system calls; for a load, board_failnth marks
// the task only while the module's init runs), the stack-trace filter to
// allocations made with module code on the stack, the cache filter keeps
// the leak detector's and the object debugger's own caches out, and
// interval L with the attribute's counter set to L - N (board_failnth)
// checks only the N-th allocation the step makes. A step is first run with
// nothing checked to count its allocations; N then goes through all of
// them, and those the stack filter lets fail are the driver's injection
// points.

#include "fault_sweep.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <linux/rjgt102_i2c.h>
#include <linux/tessel_sar.h>

#include <glob.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "files.h"
#include "kernel_log.h"
#include "kernel_module.h"

namespace board {
namespace {

constexpr unsigned long kInterval = 1UL << 30;  // beyond any step's allocations
constexpr const char* kDebug = "/sys/kernel/debug/";

// The ioctls swept on a driver's device node, by node name. Records are
// static: the step's system calls must not allocate in user space.
struct IoctlStep {
  const char* node;
  const char* name;
  unsigned long request;
  void* arg;
};
gpioi2c_block i2c_block{0, {}, 4};
sar_ioctl_data sar_data{0, 0};
const IoctlStep kIoctls[] = {
    {"rjgt102_i2c", "GPIOI2C_CMD_READ", GPIOI2C_CMD_READ, &i2c_block},
    {"sar", "SAR_IOC_INIT", SAR_IOC_INIT, nullptr},
    {"sar", "SAR_IOC_READ", SAR_IOC_READ, &sar_data},
};

// Set-up that a driver's surroundings make (a file written), each run on a
// fresh load: the sensor framework sets up a pad the first time it is used.
struct SetupStep {
  const char* module;
  const char* file;
  const char* text;
};
const SetupStep kSetups[] = {
    {"mn34229drv", "/sys/kernel/debug/sensor_framework/pad0/cmd", "probe"},
    {"mn34229drv", "/sys/kernel/debug/sensor_framework/pad1/cmd", "probe"},
};

std::vector<std::string> subdirs_of(const std::string& parent);

// A debugfs number kept open for writing (a run writes several, many
// times); reading opens it anew, as these files read only once per open.
class Knob {
 public:
  explicit Knob(std::string path)
      : path_(std::move(path)), fd_(::open(path_.c_str(), O_WRONLY | O_CLOEXEC)) {}
  ~Knob() {
    if (fd_ >= 0) ::close(fd_);
  }
  Knob(const Knob&) = delete;
  Knob& operator=(const Knob&) = delete;

  void put(unsigned long value) const {
    auto text = std::to_string(value);
    if (::write(fd_, text.data(), text.size()) < 0) std::perror(path_.c_str());
  }
  long long get() const { return read_number(path_).value_or(-1); }

 private:
  std::string path_;
  int fd_;
};

// One of the kernel's fault attributes, failslab or fail_page_alloc.
class FaultAttr {
 public:
  explicit FaultAttr(std::string name)
      : name_(std::move(name)),
        dir_(kDebug + name_ + "/"),
        count_(std::string(kDebug) + "board_failnth/" + name_ + "_count") {}

  // The knobs a run turns, once the attribute and board_failnth are there.
  void open() {
    times_ = std::make_unique<Knob>(dir_ + "times");
    counter_ = std::make_unique<Knob>(count_);
  }

  const std::string& name() const { return name_; }

  bool setup(unsigned long start, unsigned long end, unsigned long reject_start,
             unsigned long reject_end) {
    bool ok = set("times", 0UL) && set("probability", 100UL) && set("interval", kInterval) &&
              set("space", 0UL) && set("verbose", 0UL) && set("task-filter", "Y") &&
              set("stacktrace-depth", 32UL) && set("reject-start", reject_start) &&
              set("reject-end", reject_end) && set("ignore-gfp-wait", "N") && range(start, end);
    if (name_ == "fail_page_alloc")
      ok = ok && set("min-order", 0UL) && set("ignore-gfp-highmem", "N");
    if (name_ == "failslab") ok = ok && cache_filter(true);
    return ok;
  }
  bool reject(std::pair<unsigned long, unsigned long> range) {
    return set("reject-start", range.first) && set("reject-end", range.second);
  }
  // Every cache but those of the kernel's own debugging, whose allocations
  // would otherwise be counted (and, failed, turn the debugging off).
  bool cache_filter(bool on) {
    for (const auto& cache : subdirs_of("/sys/kernel/slab")) {
      auto name = cache.substr(cache.rfind('/') + 1);
      bool own = name.rfind("kmemleak_", 0) == 0 || name == "debug_objects_cache";
      write_text(cache + "/failslab", on && !own ? "1" : "0");
    }
    return set("cache-filter", on ? "Y" : "N");
  }
  bool range(unsigned long start, unsigned long end) {
    return set("require-start", start) && set("require-end", end);
  }
  // nth 0: nothing is checked, the allocations are only counted.
  void arm(unsigned long nth) {
    times_->put(1);
    counter_->put(nth ? kInterval - nth : 0);
  }
  void disarm() {
    if (times_) times_->put(0);
  }
  bool fired() const { return times_->get() == 0; }
  unsigned long counted(unsigned long nth) const {
    long long count = counter_->get();
    return count < 0 ? 0 : count - (nth ? kInterval - nth : 0);
  }

 private:
  bool set(const char* file, unsigned long value) {
    return write_number(dir_ + file, static_cast<long long>(value));
  }
  bool set(const char* file, std::string_view value) { return write_text(dir_ + file, value) == 0; }

  std::string name_, dir_, count_;
  std::unique_ptr<Knob> times_, counter_;
};

// What a step does and how it is undone, each outside the marked window but
// act, which makes the step's system calls and returns 0 or their errno.
struct Step {
  std::string name;
  std::function<void()> prepare = [] {};
  std::function<int()> act;
  std::function<void()> finish = [] {};
  // What is wrong with the state the step left, given its result; clean:
  // nothing failed, so everything the step makes must be there.
  std::function<std::string(int rc, bool clean)> left = [](int, bool) { return std::string(); };
  std::function<void()> restore = [] {};
  std::function<std::string()> settled = [] { return std::string(); };  // after restore
  std::function<void()> finally = [] {};                                // after the sweep
  bool marks_init = false;  // a load: board_failnth marks the task
};

std::set<std::string> list(const std::vector<std::string>& dirs) {
  std::set<std::string> found;
  for (const auto& d : dirs) {
    glob_t g{};
    if (::glob((d + "/*").c_str(), 0, nullptr, &g) == 0)
      for (size_t i = 0; i < g.gl_pathc; ++i) found.insert(g.gl_pathv[i]);
    ::globfree(&g);
  }
  return found;
}

std::vector<std::string> subdirs_of(const std::string& parent) {
  std::vector<std::string> dirs;
  for (const auto& d : list({parent})) dirs.push_back(d);
  return dirs;
}

// Device nodes and sysfs devices: what a driver created is what a load adds.
std::set<std::string> devices() {
  auto dirs = subdirs_of("/sys/class");
  for (const auto& bus : subdirs_of("/sys/bus")) dirs.push_back(bus + "/devices");
  auto all = list(dirs);
  for (const auto& node : list({"/dev"})) all.insert(node);
  return all;
}

std::vector<std::string> readable_attributes(const std::string& device) {
  std::vector<std::string> attrs;
  for (const auto& f : list({device})) {
    struct stat st {};
    if (::lstat(f.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IRUSR))
      attrs.push_back(f);
  }
  return attrs;
}

std::string basename_of(const std::string& path) { return path.substr(path.rfind('/') + 1); }

bool module_loaded(const std::string& name) { return exists("/sys/module/" + name + "/initstate"); }

std::pair<unsigned long, unsigned long> module_core(const std::string& name) {
  std::ifstream in("/proc/modules");
  std::string mod, size, rest;
  while (in >> mod >> size) {
    std::string refs, users, state, addr;
    in >> refs >> users >> state >> addr;
    std::getline(in, rest);
    if (mod == name) {
      unsigned long base = std::stoul(addr, nullptr, 16);
      return {base, base + std::stoul(size)};
    }
  }
  return {0, 0};
}

// The address range of a kernel function, from its symbol to the next.
std::pair<unsigned long, unsigned long> function_range(const std::string& name) {
  std::ifstream in("/proc/kallsyms");
  std::string addr, type, sym;
  unsigned long start = 0, end = 0;
  while (in >> addr >> type >> sym) {
    in.ignore(256, '\n');
    unsigned long a = std::stoul(addr, nullptr, 16);
    if (sym == name) start = a;
    if (start && a > start && (type == "t" || type == "T") && (!end || a < end)) end = a;
  }
  return {start, end};
}

// The kernel function whose allocations a driver's sweep leaves alone: a
// flaw of Linux 4.9's own code that the driver's load reaches.
// - module_add_driver() ignores a failed allocation of the module's
//   "drivers" directory and then links the driver into the sysfs root (a
//   duplicate-name WARNING), for any platform driver;
// - i2c_register_adapter() does not put the adapter's device when
//   device_register() fails, so the device's name leaks (kmemleak), and
//   after a failed device_create() in i2cdev_attach_adapter(), which runs
//   inside that registration, a reference to the new adapter is left behind
//   and i2c_del_adapter() at unload waits for it for ever (a hung rmmod).
std::pair<unsigned long, unsigned long> kernel_flaw(const std::string& driver) {
  return function_range(driver == "gpio_i2c" ? "i2c_register_adapter" : "module_add_driver");
}

class Sweep {
 public:
  Sweep(Checks& c) : c_(c), mark_(::open("/proc/self/make-it-fail", O_WRONLY | O_CLOEXEC)) {}
  ~Sweep() {
    for (auto& a : attrs_) a.disarm();
    attrs_[0].cache_filter(false);
    if (mark_ >= 0) ::close(mark_);
  }

  bool ready() {
    if (!c_.expect(mark_ >= 0 && exists(std::string(kDebug) + "failslab"),
                   "inject: the kernel has fault injection", "no failslab or make-it-fail"))
      return false;
    if (!module_loaded("board_failnth") &&
        !c_.equal(load_module("/lib/modules/board/board_failnth.ko"), 0,
                  "inject: board_failnth loads"))
      return false;
    // The module area (16 MiB below the kernel on ARM): the loading
    // module's init runs there, at an address not known before the load.
    auto own = module_core("board_failnth").first & ~0xFFFFFFUL;
    area_ = {own, own + 0x1000000};
    for (auto& a : attrs_) {
      if (!c_.expect(a.setup(area_.first, area_.second, 0, 0),
                     "inject: " + a.name() + " configured"))
        return false;
      a.open();
    }
    mark_init_ = std::make_unique<Knob>(std::string(kDebug) + "board_failnth/mark_init");
    // No page faults while marked: they would allocate for the task.
    ::mlockall(MCL_CURRENT | MCL_FUTURE);
    return true;
  }

  void driver(const std::string& name, const std::string& params) {
    auto t0 = std::chrono::steady_clock::now();
    name_ = name;
    ko_ = "/lib/modules/board/" + name + ".ko";
    params_ = params;
    auto flaw = kernel_flaw(name);
    for (auto& a : attrs_) a.reject(flaw);
    points_ = failed_steps_ = 0;
    faults_.clear();
    if (module_loaded(name) && unload_module(name) != 0) {
      c_.expect(false, "inject: " + name + " unloads for the sweep");
      return;
    }
    auto before = devices();
    if (!c_.equal(load_module(ko_, params_), 0, "inject: " + name + " loads for the sweep")) return;
    for (const auto& d : devices())
      if (!before.count(d)) made_.push_back(d);

    auto load = load_step();
    sweep(load, area_);
    if (!c_.equal(load_module(ko_, params_), 0, "inject: " + name + " loads after its load sweep"))
      return;
    auto core = module_core(name);
    for (auto& s : steps()) sweep(s, core);

    auto s =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - t0);
    std::string detail;
    for (size_t i = 0; i < faults_.size() && i < 4; ++i) detail += faults_[i] + "; ";
    c_.expect(faults_.empty(),
              "inject: " + name + ": " + std::to_string(points_) + " points, " +
                  std::to_string(points_) + " exercised, " + std::to_string(faults_.size()) +
                  " faults (" + std::to_string(failed_steps_) + " failed the step, the rest the " +
                  "kernel absorbed; " + std::to_string(s.count()) + " s)",
              detail);
    made_.clear();
  }

 private:
  Step load_step() {
    Step s;
    s.name = "load";
    auto fd = std::make_shared<int>(-1);
    s.prepare = [this, fd] { *fd = ::open(ko_.c_str(), O_RDONLY | O_CLOEXEC); };
    s.act = [this, fd] {
      return ::syscall(SYS_finit_module, *fd, params_.c_str(), 0) == 0 ? 0 : errno;
    };
    s.finish = [fd] { ::close(*fd); };
    s.marks_init = true;
    s.left = [this](int rc, bool clean) {
      return state("loaded", module_loaded(name_), rc, clean);
    };
    s.restore = [this] {
      if (module_loaded(name_)) unload_module(name_);
    };
    s.settled = [this] { return state("loaded", module_loaded(name_), ENOENT, false); };
    return s;
  }

  // Bind and unbind of every device the driver holds, the open of every node
  // it made and its ioctls, and the read of every attribute of its devices.
  std::vector<Step> steps() {
    std::vector<Step> all;
    for (const auto& link : list({"/sys/module/" + name_ + "/drivers"})) {
      for (const auto& dev : list({link})) {
        struct stat st {};
        auto dev_name = basename_of(dev);
        if (::lstat(dev.c_str(), &st) != 0 || !S_ISLNK(st.st_mode) || dev_name == "module")
          continue;
        all.push_back(sysfs_write_step("unbind " + dev_name, link + "/unbind", dev_name, true));
        all.push_back(sysfs_write_step("bind " + dev_name, link + "/bind", dev_name, false));
      }
    }
    for (const auto& d : made_) {
      if (is_char_device(d)) {
        all.push_back(open_step(d));
        for (const auto& io : kIoctls)
          if (basename_of(d) == io.node) all.push_back(ioctl_step(d, io));
      } else {
        for (const auto& attr : readable_attributes(d)) all.push_back(read_step(attr));
      }
    }
    for (const auto& setup : kSetups)
      if (name_ == setup.module) all.push_back(setup_step(setup));
    return all;
  }

  Step sysfs_write_step(std::string name, const std::string& file, const std::string& dev,
                        bool unbind) {
    Step s;
    s.name = std::move(name);
    auto fd = std::make_shared<int>(-1);
    auto bound = [file, dev] { return exists(file.substr(0, file.rfind('/') + 1) + dev); };
    auto bind = [file, dev, bound] {
      if (!bound()) write_text(file.substr(0, file.rfind('/') + 1) + "bind", dev);
    };
    // Each run starts from the state the step changes; the sweep leaves the
    // device bound.
    s.prepare = [file, dev, fd, bound, bind, unbind] {
      if (unbind)
        bind();
      else if (bound())
        write_text(file.substr(0, file.rfind('/') + 1) + "unbind", dev);
      *fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
    };
    auto text = std::make_shared<std::string>(dev);
    s.act = [fd, text] { return ::write(*fd, text->data(), text->size()) >= 0 ? 0 : errno; };
    s.finish = [fd] { ::close(*fd); };
    s.left = [this, bound, unbind](int rc, bool clean) {
      return state("bound", bound(), unbind ? !rc : rc, clean);
    };
    s.restore = [] {};
    s.finally = bind;
    return s;
  }

  Step open_step(const std::string& node) {
    Step s;
    s.name = "open " + node;
    auto fd = std::make_shared<int>(-1);
    auto path = std::make_shared<std::string>(node);
    s.act = [fd, path] {
      *fd = ::open(path->c_str(), O_RDWR | O_CLOEXEC);
      return *fd >= 0 ? 0 : errno;
    };
    s.finish = [fd] {
      if (*fd >= 0) ::close(*fd);
    };
    return s;
  }

  Step ioctl_step(const std::string& node, const IoctlStep& io) {
    Step s;
    s.name = std::string(io.name) + " on " + node;
    auto fd = std::make_shared<int>(-1);
    s.prepare = [fd, node] { *fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC); };
    s.act = [fd, io] { return ::ioctl(*fd, io.request, io.arg) == 0 ? 0 : errno; };
    s.finish = [fd] { ::close(*fd); };
    return s;
  }

  // A driver or device that is there after rc 0 and gone after an error
  // leaves nothing behind when gone, and, after a clean run, all it made.
  std::string state(const char* what, bool there, int rc, bool clean) const {
    if ((rc == 0) != there) return std::string(what) + (there ? " yes" : " no");
    for (const auto& d : made_) {
      if (!there && exists(d)) return d + " left behind";
      if (clean && there && !exists(d)) return d + " missing";
    }
    return std::string();
  }

  Step setup_step(const SetupStep& setup) {
    Step s;
    s.name = std::string("write ") + setup.text + " to " + setup.file;
    s.act = [setup] {
      int fd = ::open(setup.file, O_WRONLY | O_CLOEXEC);
      if (fd < 0) return errno;
      int rc = ::write(fd, setup.text, std::strlen(setup.text)) >= 0 ? 0 : errno;
      ::close(fd);
      return rc;
    };
    s.restore = [this] {
      unload_module(name_);
      load_module(ko_, params_);
    };
    return s;
  }

  Step read_step(const std::string& attr) {
    Step s;
    s.name = "read " + attr;
    auto path = std::make_shared<std::string>(attr);
    s.act = [path] {
      char buf[4096];
      int fd = ::open(path->c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) return errno;
      int rc = ::read(fd, buf, sizeof(buf)) >= 0 ? 0 : errno;
      ::close(fd);
      return rc;
    };
    return s;
  }

  // One run: the step with the attribute armed for its nth allocation.
  int run(Step& s, FaultAttr& a, unsigned long nth, bool* fired, unsigned long* counted) {
    s.prepare();
    a.arm(nth);
    if (s.marks_init) mark_init_->put(1);
    mark(!s.marks_init);
    int rc = s.act();
    mark(false);
    if (s.marks_init) mark_init_->put(0);
    *fired = a.fired();
    *counted = *fired ? 0 : a.counted(nth);
    a.disarm();
    s.finish();
    return rc;
  }

  void mark(bool on) {
    if (::write(mark_, on ? "1" : "0", 1) != 1) faults_.push_back("make-it-fail not written");
  }

  void sweep(Step& s, std::pair<unsigned long, unsigned long> range) {
    for (auto& a : attrs_) {
      auto t0 = std::chrono::steady_clock::now();
      unsigned before = points_;
      a.range(range.first, range.second);
      s.restore();
      KernelLog log;
      bool fired = false;
      unsigned long total = 0;
      int normal = run(s, a, 0, &fired, &total);
      std::string first =
          fired ? "an allocation failed while none was meant to" : s.left(normal, true);
      s.restore();
      note(s, a, 0, first, log);
      for (unsigned long nth = 1; nth <= total; ++nth) {
        unsigned long counted = 0;
        int rc = run(s, a, nth, &fired, &counted);
        if (!fired) {
          s.restore();
          note(s, a, nth, rc != normal ? "gave " + std::to_string(rc) + " untouched" : "", log);
          total = std::max(total, counted);
          continue;
        }
        ++points_;
        failed_steps_ += rc != normal;
        std::string left = s.left(rc, false);
        s.restore();
        left += s.settled();
        note(s, a, nth, left, log);
      }
      // Each run went further than the one before it; the last one again
      // with nothing failing must still work as the first did.
      unsigned long last_count = 0;
      int again = run(s, a, 0, &fired, &last_count);
      std::string last =
          again != normal ? "gave " + std::to_string(again) + " at the end" : s.left(again, true);
      s.restore();
      s.finally();
      note(s, a, 0, last + s.settled(), log);
      auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - t0);
      std::printf("inject: %s %s %s: %u of %lu allocations failed, %lld ms\n", name_.c_str(),
                  s.name.c_str(), a.name().c_str(), points_ - before, total,
                  static_cast<long long>(ms.count()));
      std::fflush(stdout);
    }
  }

  // Records a fault: what the run left, or what the kernel logged about it.
  void note(const Step& s, const FaultAttr& a, unsigned long nth, const std::string& problem,
            KernelLog& log) {
    static const std::regex bad(
        "WARNING:|BUG:|(^|\\] )BUG |kernel BUG|Oops|Unable to handle|Internal error|cut here|"
        "unwind_backtrace|Kernel panic|refcount_t:|list_(add|del) corruption|UBSAN|sleeping "
        "function called|scheduling while atomic|lockup|INFO: |ODEBUG|possible (circular|"
        "recursive) locking|inconsistent lock state|suspicious RCU|lock held when "
        "returning|Redzone|Poison overwritten|Object padding");
    static const std::regex stack_dump("unwind_backtrace|\\(show_stack\\)|\\(dump_stack\\)");
    auto lines = log.take();
    // The kernel's report of an allocation that failed dumps the stack.
    bool alloc_report = false;
    std::string logged;
    for (size_t i = 0; i < lines.size(); ++i) {
      const auto& l = lines[i];
      alloc_report |= l.find("allocation failure") != std::string::npos;
      if (!std::regex_search(l, bad) || (alloc_report && std::regex_search(l, stack_dump)))
        continue;
      // A warning's cause is often the line before it, its place the trace
      // after it.
      if (logged.empty() && i > 0) logged += lines[i - 1] + " | ";
      logged += l + " | ";
      if (faults_.empty() && l.find("cut here") != std::string::npos)
        for (size_t j = i + 1; j < lines.size() && j < i + 30; ++j) logged += lines[j] + " | ";
    }
    if (problem.empty() && logged.empty()) return;
    faults_.push_back(name_ + " " + s.name + " " + a.name() + " #" + std::to_string(nth) + ": " +
                      problem + (logged.empty() ? "" : " log: " + logged));
  }

  Checks& c_;
  int mark_;
  std::array<FaultAttr, 2> attrs_{FaultAttr("failslab"), FaultAttr("fail_page_alloc")};
  std::unique_ptr<Knob> mark_init_;
  std::pair<unsigned long, unsigned long> area_;
  std::string name_, ko_, params_;
  std::vector<std::string> made_;
  std::vector<std::string> faults_;
  unsigned points_ = 0, failed_steps_ = 0;
};

// The shipped drivers among the modules of one /etc/board list, with their
// insmod parameters.
void sweep_list(Checks& c, const std::string& list_file) {
  std::set<std::string> drivers;
  {
    std::ifstream in("/etc/board/drivers");
    for (std::string d; in >> d;) drivers.insert(d);
  }
  std::vector<std::pair<std::string, std::string>> todo;
  std::ifstream in(list_file);
  for (std::string name, params; in >> name >> params;) {
    if (params == "-") params.clear();
    for (auto& ch : params)
      if (ch == ',') ch = ' ';
    if (drivers.count(name)) todo.emplace_back(name, params);
  }
  {
    Sweep sweep(c);
    if (sweep.ready())
      for (const auto& [name, params] : todo) sweep.driver(name, params);
  }
  unload_module("board_failnth");
}

}  // namespace

void run_inject_checks(Checks& c) { sweep_list(c, "/etc/board/modules"); }
void run_inject_late_checks(Checks& c) { sweep_list(c, "/etc/board/modules.late"); }

}  // namespace board
