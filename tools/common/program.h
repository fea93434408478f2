/* SPDX-License-Identifier: GPL-2.0 */
// The skeleton both device tools share: the command line, messages, --help
// and --version, and the body of main().
#ifndef TOOLS_COMMON_PROGRAM_H
#define TOOLS_COMMON_PROGRAM_H

#include <functional>
#include <string>
#include <vector>

#include "cli.h"

namespace devtools {

// The project's version, as the build states it.
const char* version();

// One option of a tool, in getopt_long's terms: id is the short letter, or a
// value above 255 for an option that has only the long name. value says what
// the option takes, for messages ("a device path"); null for a flag.
struct OptionSpec {
  const char* name;
  int id;
  const char* value;
};

constexpr int kLongOnly = 256;  // the first id of a long-only option

// A device tool's command line and messages. A tool derives from it, takes
// its options in option() and does its work in execute().
class Program {
 public:
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Parses args (without the program name) with getopt_long: options stand
  // anywhere until "--", operands keep their order, -h/--help and --version
  // come built in. Once an operand is given, a word such as "-1" is an
  // operand too (a number typed wrong), not an option. Then shows the help
  // or the version, or runs execute(). Returns the exit status.
  int run(const std::vector<std::string>& args);

 protected:
  // help is the text of --help; options and the console outlive the program.
  Program(const char* name, const char* help, const std::vector<OptionSpec>& options,
          const Console& console)
      : name_(name), help_(help), options_(options), console_(console) {}
  virtual ~Program() = default;

  // Takes one option; returns kExitOk, or the status of the usage error it
  // has reported.
  virtual int option(int id, const std::string& value) = 0;
  // Does the tool's work once all options are taken.
  virtual int execute(const std::vector<std::string>& operands) = 0;

  // "NAME: message" on the error stream.
  void error(const std::string& message) const;
  // A usage error: the message and where to look; returns kExitUsage.
  int usage(const std::string& message) const;
  // "cannot open PATH: reason", with hint when the node is missing, i.e.
  // when the driver is not loaded or not bound.
  void cannot_open(const std::string& path, int error, const char* hint) const;

 private:
  int bad_option(const char* word, int code, int id) const;

  const char* name_;
  const char* help_;
  const std::vector<OptionSpec>& options_;
  const Console& console_;
};

// The body of a tool's main(): runs it on the standard streams with the
// program's arguments. out_failed turns true once output could not be
// written; a run that lost output then fails even when the tool succeeded.
using ToolMain = std::function<int(const std::vector<std::string>& args, const Console& console,
                                   const bool& out_failed)>;
int run_main(const char* name, int argc, char** argv, const ToolMain& run);

}  // namespace devtools

#endif
