/* SPDX-License-Identifier: GPL-2.0 */
// Small host helpers shared by the tests that run built programs.
#pragma once

#include <string>

// Seconds on the monotonic clock.
double monotonic_seconds();
// The whole file, or "" when it cannot be opened.
std::string read_file(const std::string &path);

// Saves a global file on construction and puts it back as it was found
// (or absent) on destruction, so tests may replace it.
class saved_file {
 public:
  explicit saved_file(std::string path);
  ~saved_file();
  saved_file(const saved_file &) = delete;
  saved_file &operator=(const saved_file &) = delete;

  // Replaces whatever stands at the path with a file holding `content`.
  bool write(const std::string &content) const;

 private:
  std::string path_;
  bool existed_ = false;
  std::string content_;
};
