// Where the CGI writes its response: standard output, or a stream a test
// redirects it to.
#pragma once

#include <cstdio>

std::FILE *cgi_output();
// Redirects the response (null restores standard output).
void set_cgi_output(std::FILE *stream);
