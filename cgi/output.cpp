#include "output.h"

namespace {
std::FILE *s_output = nullptr; // constant-initialised: no start-up work
}

std::FILE *cgi_output() { return s_output ? s_output : stdout; }

void set_cgi_output(std::FILE *stream) { s_output = stream; }
