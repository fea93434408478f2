/* SPDX-License-Identifier: GPL-2.0 */
// Clocks on the bench: a small clock tree that tests build, consumer handles
// handed out by of_clk_get(), and the prepare/enable counts that a real
// clock framework keeps. Unbalanced calls, calls on a handle that was put
// and prepare/unprepare in atomic context are violations (kb::violations()).
#ifndef KBENCH_RUNTIME_CLK_H
#define KBENCH_RUNTIME_CLK_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kb::clk {

// A clock with its possible parents (names of other clocks, by index) and
// the index of its current one. Clocks live until reset().
void add(std::string name, std::vector<std::string> parents = {}, unsigned current = 0);

struct State {
  unsigned prepare_count = 0;
  unsigned enable_count = 0;
  std::string parent;    // current parent, "" for none
  unsigned handles = 0;  // consumer handles not yet put
};
State state(std::string_view name);

// Every consumer call in order: "get sar", "set_parent sar osc",
// "prepare sar", "enable sar", "disable sar", "unprepare sar", "put sar".
// Injected failures are logged with " failed" appended.
const std::vector<std::string>& events();

// The next call of that kind on the named clock fails with error (once).
enum class Op { Get, Prepare, Enable, SetParent };
void fail_next(Op op, std::string_view name, int error);

// Consumer handles not yet put, over all clocks.
unsigned live_handles();

}  // namespace kb::clk

#endif
