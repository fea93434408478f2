// SPDX-License-Identifier: GPL-2.0
// The clock model behind linux/clk.h and linux/clk-provider.h.
#include <linux/clk.h>
#include <linux/clk-provider.h>
#include <linux/err.h>
#include <linux/errno.h>

#include <deque>
#include <map>
#include <memory>

#include "clk.h"
#include "kbench.h"
#include "internal.h"
#include "platform.h"

// A consumer handle. The clock's own handle (clk_hw::clk) is one as well.
struct clk {
  struct clk_core* core;
  bool put;
  bool provider;
};

// One clock of the tree.
struct clk_core {
  std::string name;
  std::vector<std::string> parents;
  int parent = -1;  // index into parents
  unsigned prepare_count = 0;
  unsigned enable_count = 0;
  unsigned handles = 0;
  struct clk_hw hw {};
  struct clk self {};
};

namespace kb::clk {
namespace {

struct Model {
  std::map<std::string, std::unique_ptr<clk_core>, std::less<>> clocks;
  // Handles stay allocated after clk_put so a late call is caught, not a
  // use after free; they go with reset().
  std::deque<struct clk> handles;
  std::vector<std::string> events;
  std::map<std::pair<Op, std::string>, int> failures;
};

Model& model() {
  static Model m;
  return m;
}

detail::ResetHook hook([] { model() = Model(); });

clk_core* find(std::string_view name) {
  auto it = model().clocks.find(name);
  return it == model().clocks.end() ? nullptr : it->second.get();
}

// A pending injected failure for this call, consumed.
int injected(Op op, const std::string& name) {
  auto it = model().failures.find({op, name});
  if (it == model().failures.end()) return 0;
  int error = it->second;
  model().failures.erase(it);
  return error;
}

void event(const std::string& what, const clk_core* core, bool failed = false) {
  model().events.push_back(what + " " + core->name + (failed ? " failed" : ""));
}

// The clock behind a consumer handle, or nullptr (after a violation) when
// the handle is unusable. NULL is the kernel's "no clock": calls do nothing.
clk_core* usable(struct clk* c, const char* fn) {
  if (!c) return nullptr;
  if (IS_ERR(c)) {
    detail::violation(std::string(fn) + " on an error pointer");
    return nullptr;
  }
  if (c->put) {
    detail::violation(std::string(fn) + " on a clock that was put");
    return nullptr;
  }
  return c->core;
}

}  // namespace

void add(std::string name, std::vector<std::string> parents, unsigned current) {
  auto core = std::make_unique<clk_core>();
  core->name = name;
  core->parents = std::move(parents);
  core->parent = current < core->parents.size() ? int(current) : -1;
  core->self = {core.get(), false, true};
  core->hw.core = core.get();
  core->hw.clk = &core->self;
  model().clocks[std::move(name)] = std::move(core);
}

State state(std::string_view name) {
  const clk_core* core = find(name);
  if (!core) return {};
  State s;
  s.prepare_count = core->prepare_count;
  s.enable_count = core->enable_count;
  s.parent = core->parent < 0 ? "" : core->parents[core->parent];
  s.handles = core->handles;
  return s;
}

const std::vector<std::string>& events() { return model().events; }

void fail_next(Op op, std::string_view name, int error) {
  model().failures[{op, std::string(name)}] = error;
}

unsigned live_handles() {
  unsigned n = 0;
  for (auto& [name, core] : model().clocks) n += core->handles;
  return n;
}

}  // namespace kb::clk

using kb::clk::Op;
namespace kc = kb::clk;

extern "C" {

struct clk* of_clk_get(struct device_node* np, int index) {
  const auto* names = kb::platform::node_clocks(np);
  if (!names || index < 0 || size_t(index) >= names->size()) return (struct clk*)ERR_PTR(-ENOENT);
  clk_core* core = kc::find((*names)[index]);
  // A provider that has not registered yet: the kernel defers the probe.
  if (!core) return (struct clk*)ERR_PTR(-EPROBE_DEFER);
  if (int error = kc::injected(Op::Get, core->name)) {
    kc::event("get", core, true);
    return (struct clk*)ERR_PTR(error);
  }
  kc::event("get", core);
  ++core->handles;
  kc::model().handles.push_back({core, false, false});
  return &kc::model().handles.back();
}

void clk_put(struct clk* c) {
  clk_core* core = kc::usable(c, "clk_put");
  if (!core) return;
  if (c->provider) {
    kb::detail::violation("clk_put on a provider's own clock handle");
    return;
  }
  kc::event("put", core);
  c->put = true;
  --core->handles;
}

int clk_prepare(struct clk* c) {
  if (kb::detail::atomic_context()) kb::detail::violation("clk_prepare in atomic context");
  clk_core* core = kc::usable(c, "clk_prepare");
  if (!core) return 0;
  if (int error = kc::injected(Op::Prepare, core->name)) {
    kc::event("prepare", core, true);
    return error;
  }
  kc::event("prepare", core);
  ++core->prepare_count;
  return 0;
}

void clk_unprepare(struct clk* c) {
  if (kb::detail::atomic_context()) kb::detail::violation("clk_unprepare in atomic context");
  clk_core* core = kc::usable(c, "clk_unprepare");
  if (!core) return;
  kc::event("unprepare", core);
  if (core->prepare_count == 0) {
    kb::detail::violation(core->name + " already unprepared");
    return;
  }
  if (core->prepare_count == 1 && core->enable_count > 0)
    kb::detail::violation("unpreparing enabled " + core->name);
  --core->prepare_count;
}

int clk_enable(struct clk* c) {
  clk_core* core = kc::usable(c, "clk_enable");
  if (!core) return 0;
  if (int error = kc::injected(Op::Enable, core->name)) {
    kc::event("enable", core, true);
    return error;
  }
  kc::event("enable", core);
  if (core->prepare_count == 0) {
    kb::detail::violation("enabling unprepared " + core->name);
    return -ESHUTDOWN;
  }
  ++core->enable_count;
  return 0;
}

void clk_disable(struct clk* c) {
  clk_core* core = kc::usable(c, "clk_disable");
  if (!core) return;
  kc::event("disable", core);
  if (core->enable_count == 0) {
    kb::detail::violation(core->name + " already disabled");
    return;
  }
  --core->enable_count;
}

int clk_set_parent(struct clk* c, struct clk* parent) {
  clk_core* core = kc::usable(c, "clk_set_parent");
  if (!core) return 0;
  clk_core* p = kc::usable(parent, "clk_set_parent (parent)");
  if (!p) return -EINVAL;
  if (int error = kc::injected(Op::SetParent, core->name)) {
    kc::event("set_parent", core, true);
    return error;
  }
  kc::model().events.push_back("set_parent " + core->name + " " + p->name);
  for (size_t i = 0; i < core->parents.size(); ++i) {
    if (core->parents[i] == p->name) {
      core->parent = int(i);
      return 0;
    }
  }
  return -EINVAL;
}

struct clk* clk_get_parent(struct clk* c) {
  clk_core* core = kc::usable(c, "clk_get_parent");
  if (!core || core->parent < 0) return nullptr;
  clk_core* p = kc::find(core->parents[core->parent]);
  return p ? &p->self : nullptr;
}

unsigned long clk_get_rate(struct clk* c) {
  kc::usable(c, "clk_get_rate");
  return 0;
}

struct clk_hw* __clk_get_hw(struct clk* c) {
  clk_core* core = kc::usable(c, "__clk_get_hw");
  return core ? &core->hw : nullptr;
}

struct clk_hw* clk_hw_get_parent_by_index(const struct clk_hw* hw, unsigned int index) {
  if (!hw || index >= hw->core->parents.size()) return nullptr;
  clk_core* p = kc::find(hw->core->parents[index]);
  return p ? &p->hw : nullptr;
}

unsigned int clk_hw_get_num_parents(const struct clk_hw* hw) {
  return unsigned(hw->core->parents.size());
}

const char* clk_hw_get_name(const struct clk_hw* hw) { return hw->core->name.c_str(); }

}  // extern "C"
