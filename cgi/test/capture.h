// Captures what the CGI prints into a string, in-process.
#pragma once

#include "output.h"

#include <cstdio>
#include <cstdlib>
#include <string>

class output_capture {
public:
	output_capture() : stream_(open_memstream(&data_, &size_)) { set_cgi_output(stream_); }
	~output_capture()
	{
		set_cgi_output(nullptr);
		std::fclose(stream_);
		std::free(data_);
	}
	std::string text()
	{
		std::fflush(stream_);
		return std::string(data_, size_);
	}

private:
	char *data_ = nullptr;
	std::size_t size_ = 0;
	std::FILE *stream_;
};
