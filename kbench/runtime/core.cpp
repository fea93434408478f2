// SPDX-License-Identifier: GPL-2.0
// reset() and the record of broken rules.
#include "kbench.h"
#include "internal.h"

#include <utility>

namespace kb {
namespace {

std::vector<std::function<void()>>& hooks() {
  static std::vector<std::function<void()>> all;
  return all;
}

std::vector<std::string>& violation_list() {
  static std::vector<std::string> list;
  return list;
}

}  // namespace

void on_reset(std::function<void()> hook) { hooks().push_back(std::move(hook)); }

void reset() {
  for (auto& hook : hooks()) hook();
  violation_list().clear();
}

const std::vector<std::string>& violations() { return violation_list(); }

namespace detail {
void violation(std::string what) { violation_list().push_back(std::move(what)); }
}  // namespace detail

}  // namespace kb
