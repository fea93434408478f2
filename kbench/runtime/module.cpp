// SPDX-License-Identifier: GPL-2.0
// Module registry: init/exit functions, modinfo tags and parameters, all
// registered by constructors that the stand-in module.h generates.
#include <linux/module.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>

#include "kbench.h"
#include "internal.h"

namespace kb {
namespace {

struct Module {
  ModuleInfo info;
  int (*init)(void) = nullptr;
  void (*exit)(void) = nullptr;
  // Parameter values as the driver initialised them, restored by reset().
  std::vector<std::vector<unsigned char>> defaults;
  // Descriptions may be registered before their parameter.
  std::map<std::string, std::string> descriptions;
};

std::map<std::string, Module, std::less<>>& modules() {
  static std::map<std::string, Module, std::less<>> all;
  return all;
}

// Strings handed to charp parameters; freed by reset().
std::vector<std::unique_ptr<char[]>> charp_values;

size_t param_size(const std::string& type) {
  if (type == "byte") return 1;
  if (type == "bool" || type == "invbool") return sizeof(bool);
  if (type == "short" || type == "ushort") return sizeof(short);
  if (type == "int" || type == "uint") return sizeof(int);
  if (type == "long" || type == "ulong") return sizeof(long);
  if (type == "ullong") return sizeof(long long);
  if (type == "charp") return sizeof(char*);
  return 0;
}

detail::ResetHook hook([] {
  for (auto& [name, mod] : modules()) {
    mod.info.loaded = false;
    for (size_t i = 0; i < mod.info.params.size(); ++i) {
      auto& saved = mod.defaults[i];
      std::memcpy(mod.info.params[i].value, saved.data(), saved.size());
    }
  }
  charp_values.clear();
});

ModuleParam* find_param(Module& mod, std::string_view name) {
  for (auto& p : mod.info.params)
    if (p.name == name) return &p;
  return nullptr;
}

template <class T>
bool store_int(void* dst, std::string_view text) {
  std::string s(text);
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(s.c_str(), &end, 0);
  if (s.empty() || *end || errno || static_cast<long long>(T(v)) != v) return false;
  if (std::is_unsigned_v<T> && v < 0) return false;
  T out = T(v);
  std::memcpy(dst, &out, sizeof(out));
  return true;
}

}  // namespace

std::string ModuleInfo::tag(const std::string& key) const {
  auto it = tags.find(key);
  return it == tags.end() ? std::string() : it->second;
}

const ModuleInfo* module_info(std::string_view module) {
  auto it = modules().find(module);
  return it == modules().end() ? nullptr : &it->second.info;
}

bool set_param(std::string_view module, std::string_view param, std::string_view value) {
  auto it = modules().find(module);
  if (it == modules().end()) return false;
  ModuleParam* p = find_param(it->second, param);
  if (!p) return false;
  const std::string& t = p->type;
  if (t == "int") return store_int<int>(p->value, value);
  if (t == "uint") return store_int<unsigned>(p->value, value);
  if (t == "short") return store_int<short>(p->value, value);
  if (t == "ushort") return store_int<unsigned short>(p->value, value);
  if (t == "long") return store_int<long>(p->value, value);
  if (t == "ulong") return store_int<unsigned long>(p->value, value);
  if (t == "byte") return store_int<unsigned char>(p->value, value);
  if (t == "bool" || t == "invbool") {
    bool on;
    if (value == "1" || value == "y" || value == "Y")
      on = true;
    else if (value == "0" || value == "n" || value == "N")
      on = false;
    else
      return false;
    if (t == "invbool") on = !on;
    std::memcpy(p->value, &on, sizeof(on));
    return true;
  }
  if (t == "charp") {
    auto copy = std::make_unique<char[]>(value.size() + 1);
    std::memcpy(copy.get(), value.data(), value.size());
    copy[value.size()] = '\0';
    char* ptr = copy.get();
    std::memcpy(p->value, &ptr, sizeof(ptr));
    charp_values.push_back(std::move(copy));
    return true;
  }
  return false;
}

int load(std::string_view module) {
  auto it = modules().find(module);
  if (it == modules().end()) {
    detail::violation("load of unknown module " + std::string(module));
    return -ENOENT;
  }
  Module& mod = it->second;
  if (mod.info.loaded) {
    detail::violation("module " + mod.info.name + " loaded twice");
    return -EEXIST;
  }
  int ret = mod.init ? mod.init() : 0;
  mod.info.loaded = ret == 0;
  return ret;
}

void unload(std::string_view module) {
  auto it = modules().find(module);
  if (it == modules().end() || !it->second.info.loaded) {
    detail::violation("unload of a module that is not loaded: " + std::string(module));
    return;
  }
  if (it->second.exit) it->second.exit();
  it->second.info.loaded = false;
}

namespace {
Module& entry(const char* name) {
  Module& mod = modules()[name];
  mod.info.name = name;
  return mod;
}
}  // namespace

}  // namespace kb

extern "C" {

void kb_register_init(const char* module, int (*fn)(void)) { kb::entry(module).init = fn; }
void kb_register_exit(const char* module, void (*fn)(void)) { kb::entry(module).exit = fn; }

void kb_register_modinfo(const char* module, const char* tag, const char* value) {
  kb::entry(module).info.tags.emplace(tag, value);
}

void kb_register_param(const char* module, const char* name, const char* type, void* value,
                       umode_t perm) {
  kb::Module& mod = kb::entry(module);
  size_t size = kb::param_size(type);
  if (size == 0) kb::detail::violation(std::string("unsupported parameter type ") + type);
  mod.info.params.push_back({name, type, value, perm, mod.descriptions[name]});
  auto* bytes = static_cast<unsigned char*>(value);
  mod.defaults.emplace_back(bytes, bytes + size);
}

void kb_register_param_desc(const char* module, const char* name, const char* desc) {
  kb::Module& mod = kb::entry(module);
  mod.descriptions[name] = desc;
  if (kb::ModuleParam* p = kb::find_param(mod, name)) p->description = desc;
}

}  // extern "C"
