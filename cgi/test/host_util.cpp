#include "host_util.h"

#include <cstddef>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

double monotonic_seconds()
{
	timespec ts{};
	clock_gettime(CLOCK_MONOTONIC, &ts);
	return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

std::string read_file(const std::string &path)
{
	std::string data;
	const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
	if (fd < 0)
		return data;
	char buf[4096];
	ssize_t n;
	while ((n = read(fd, buf, sizeof(buf))) > 0)
		data.append(buf, static_cast<std::size_t>(n));
	close(fd);
	return data;
}
