/* SPDX-License-Identifier: GPL-2.0 */
// Captures what the CGI prints into a string, in-process.
#pragma once

#include "output.h"

#include <string>

class output_capture {
 public:
  output_capture() { set_out_sink(&append, &text_); }
  ~output_capture() { set_out_sink(nullptr, nullptr); }
  std::string text() {
    out_flush();
    return text_;
  }

 private:
  static void append(const char *data, std::size_t length, void *context) {
    static_cast<std::string *>(context)->append(data, length);
  }
  std::string text_;
};
