/* SPDX-License-Identifier: GPL-2.0 */
// Conversion of the controller's speed commands into VISCA command text, and
// the speed memory that lets a stop command repeat the last pan/tilt speeds.
#pragma once

#include <cstddef>

// Movement classes of a speed value (see judge_orientation).
enum movement_class : int {
  kClassInvalid = -1,
  kClassUpRight = 0,
  kClassRight = 1,
  kClassDownRight = 2,
  kClassDown = 3,
  kClassDownLeft = 4,
  kClassLeft = 5,
  kClassUpLeft = 6,
  kClassUp = 7,
  kClassStop = 8,
  kClassZoomTele = 9,
  kClassZoomWide = 10,
  kClassZoomStop = 11,
};

// Selectors of ctrlcmd_to_viscacmd.
inline constexpr int kSelectHome = 1;
inline constexpr int kSelectZoom = 3;
inline constexpr int kSelectPanTilt = 4;

// Speed memory, relative to the working directory the web server gives us.
inline constexpr const char kSpeedMemoryPath[] = "./cgi-bin/vv_ww.config";

// Returns the VISCA text for `command` (selector 3: zoom speed "Z..",
// 4: pan/tilt speed "PTS....", 1: pan/tilt home), or null for another
// selector. The text lives until the next conversion.
const char *ctrlcmd_to_viscacmd(const char *command, int selector);
// Reads `count` characters of `text` from `position` as the speed value and
// returns its VISCA text; pan/tilt moves are stored in the speed memory.
const char *control_cmd_change(const char *text, int count, int position);
// Movement class of a speed value.
int judge_orientation(int v);
// Zoom argument: `digit` followed by the zoom speed for `distance`.
const char *zoom_conversion(int distance, const char *digit);
// Assembles prefix + (int_to_str(value, width) or text) + suffix; null
// prefix/suffix are skipped. The result is truncated to its static buffer.
const char *visca_pack_cmd(const char *prefix, int value, const char *text, const char *suffix,
                           int use_value, int width);
// Writes value in decimal, left-filled with '0' to at least `width`
// characters, NUL-terminated; returns the number of characters. `out` must
// hold kIntTextSize bytes.
int int_to_str(int value, char *out, int width);
inline constexpr int kIntTextSize = 16;

// Stores (flag != 0) `value` as `width` characters, or loads (flag == 0)
// `width` characters into `buffer` without a terminator, under the process
// lock. A load leaves `buffer` as it was, and says why on standard error,
// unless the file holds a speed word a store could have written. Returns
// close_sem's result; every store failure ends the process with status 1
// and leaves the previous record.
int VV_WW_from_or_to_file(int value, int flag, char *buffer, int width);

// The lock and file access behind the speed memory. The program uses the
// process lock and the file system; tests and the fuzzer put their own in
// place so that a request runs in-process.
class speed_memory_io {
 public:
  virtual void lock() = 0;
  // Returns close_sem's result.
  virtual int unlock() = 0;
  // A descriptor, or -1 with errno set.
  virtual int open(const char *path, int flags, unsigned mode) = 0;
  virtual long read(int fd, char *buffer, std::size_t size) = 0;
  // Writes at the file's start, over what is there.
  virtual long write(int fd, const char *text, std::size_t length) = 0;
  // Drops what lies beyond the first `length` bytes, if anything does.
  virtual void trim(int fd, std::size_t length) = 0;
  virtual void close(int fd) = 0;

 protected:
  ~speed_memory_io() = default;
};

// Null restores the process lock and the file system.
void set_speed_memory_io(speed_memory_io *io);
