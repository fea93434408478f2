// SPDX-License-Identifier: GPL-2.0
#include "program.h"

#include <getopt.h>

#include <cctype>
#include <cerrno>
#include <cstring>

// The build passes the project's version; a build outside CMake may not.
#ifndef DEVTOOLS_VERSION
#define DEVTOOLS_VERSION "unknown"
#endif

namespace devtools {
namespace {

constexpr int kHelpId = 'h';
constexpr int kVersionId = kLongOnly - 1;  // not a character a user can type as -X

bool looks_negative(const char* word) {
  return word[0] == '-' && std::isdigit(static_cast<unsigned char>(word[1]));
}

// The option as the user wrote it, without a value: "--device" of
// "--device=x"; empty for a short option.
std::string long_word(const char* word) {
  if (std::strncmp(word, "--", 2) != 0) return {};
  const char* eq = std::strchr(word, '=');
  return eq ? std::string(word, eq) : std::string(word);
}

}  // namespace

const char* version() { return DEVTOOLS_VERSION; }

void Program::error(const std::string& message) const {
  console_.err(std::string(name_) + ": " + message + "\n");
}

int Program::usage(const std::string& message) const {
  error(message + "\nTry '" + name_ + " --help'.");
  return kExitUsage;
}

void Program::cannot_open(const std::string& path, int error, const char* hint) const {
  std::string message = "cannot open " + path + ": " + error_text(error);
  if (error == ENOENT || error == ENODEV || error == ENXIO)
    message += std::string(" (") + hint + ")";
  this->error(message);
}

int Program::bad_option(const char* word, int code, int id) const {
  const std::string name = long_word(word);
  if (code == ':') {
    const char* what = "a value";
    for (const OptionSpec& s : options_)
      if (s.id == id) what = s.value;
    return usage("option " + (name.empty() ? std::string("-") + char(id) : name) + " needs " +
                 what);
  }
  // A known long option given a value it does not take also lands here.
  if (!name.empty() && id != 0) return usage("option " + name + " takes no value");
  if (!name.empty()) return usage("unknown option '" + name + "'");
  return usage(std::string("unknown option '-") + char(id) + "'");
}

int Program::run(const std::vector<std::string>& args) {
  // getopt_long wants C strings it may hold pointers into.
  std::vector<std::string> words{name_};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(words.size());

  // "-": operands come back in order (code 1); ":": no messages of its own.
  std::string shortopts = "-:h";
  std::vector<::option> longopts;
  longopts.reserve(options_.size() + 3);
  for (const OptionSpec& s : options_) {
    longopts.push_back({s.name, s.value ? required_argument : no_argument, nullptr, s.id});
    if (s.id < kVersionId) {
      shortopts += static_cast<char>(s.id);
      if (s.value) shortopts += ':';
    }
  }
  longopts.push_back({"help", no_argument, nullptr, kHelpId});
  longopts.push_back({"version", no_argument, nullptr, kVersionId});
  longopts.push_back({nullptr, 0, nullptr, 0});

  std::vector<std::string> operands;
  bool help = false;
  bool show_version = false;
  bool at_word = true;  // getopt is not inside a cluster such as -r1
  opterr = 0;
  optind = 0;  // glibc: start afresh
  for (;;) {
    const int next = optind == 0 ? 1 : optind;
    if (at_word && next < argc) {
      const char* w = argv[size_t(next)];
      if (std::strcmp(w, "--") == 0) {
        operands.insert(operands.end(), words.begin() + next + 1, words.end());
        break;
      }
      if (!operands.empty() && looks_negative(w)) {
        operands.emplace_back(w);
        optind = next + 1;
        continue;
      }
    }
    const int before = next;  // the word getopt looks at
    const int c = getopt_long(argc, argv.data(), shortopts.c_str(), longopts.data(), nullptr);
    if (c == -1) break;
    at_word = optind != before;
    if (c == 1) {
      operands.emplace_back(optarg);
    } else if (c == '?' || c == ':') {
      return bad_option(argv[size_t(before)], c, optopt);
    } else if (c == kHelpId) {
      help = true;
    } else if (c == kVersionId) {
      show_version = true;
    } else if (int status = option(c, optarg ? optarg : "")) {
      return status;
    }
  }
  if (help) {
    console_.out(help_);
    return kExitOk;
  }
  if (show_version) {
    console_.out(std::string(name_) + " " + version() + "\n");
    return kExitOk;
  }
  return execute(operands);
}

int run_main(const char* name, int argc, char** argv, const ToolMain& run) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  bool out_failed = false;
  const Console console = stdio_console(&out_failed);
  const int status = run(args, console, out_failed);
  if (out_failed && status == kExitOk) {
    console.err(std::string(name) + ": cannot write the output\n");
    return kExitFailed;
  }
  return status;
}

}  // namespace devtools
