// SPDX-License-Identifier: GPL-2.0
/*
 * Baseline for a movement command: only the system work a pan command
 * cannot do without, then the same output as the gateway for "PTS9950".
 *  - the speed memory: open "sem_cgi", take it, truncate and write the four
 *    digits, release and close it (with TAKE_FLOCK also the kernel file lock
 *    the gateway takes first, to measure what that costs; with AS_GATEWAY
 *    the digits are written in place over the old ones, the file checked
 *    and never emptied, as the gateway stores them);
 *    With both, the lock file's order record is read and written too;
 *  - the port file, one datagram to the VISCA server and its two replies
 *    (with AS_GATEWAY on a socket connected to it, as the gateway's).
 */
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <semaphore.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

static const unsigned char packet[] = {0x81, 0x01, 0x06, 0x01, 0x17, 0x10, 0x02, 0x03, 0xFF};
static const char reply[] = "90\n41\n\n90\n51\n\n"
			    "Status:200\r\nContent-type:Text/plain\r\nContent-length:7\r\n\r\n"
			    "pTS9950";

static void store_speeds(void)
{
#ifdef TAKE_FLOCK
	int lock = open("./cgi-bin/ptz_cgi.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0600);
	flock(lock, LOCK_EX);
#ifdef AS_GATEWAY
	long long order[2];

	if (pread(lock, order, sizeof(order), 0) < 0 || pwrite(lock, order, sizeof(order[0]), 0) < 0)
		_exit(1);
#endif
#endif
	sem_t *sem = sem_open("sem_cgi", O_CREAT, 0777, 1);
	if (sem == SEM_FAILED)
		_exit(1);
	sem_wait(sem);
#ifdef AS_GATEWAY
	struct stat st;
	int fd = open("./cgi-bin/vv_ww.config", O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0777);
	if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
		_exit(1);
#else
	int fd = open("./cgi-bin/vv_ww.config", O_RDWR | O_CREAT | O_TRUNC, 0777);
#endif
	if (fd < 0 || write(fd, "1710", 4) != 4)
		_exit(1);
#ifdef AS_GATEWAY
	if (st.st_size > 4 && ftruncate(fd, 4) != 0)
		_exit(1);
#endif
	close(fd);
	sem_post(sem);
#ifdef TAKE_FLOCK
	close(lock);
#endif
	sem_close(sem);
}

static unsigned short visca_port(void)
{
	unsigned char raw[2] = {0, 0};
	int fd = open("/tmp/viscaport.txt", O_RDONLY | O_CLOEXEC);
	if (fd >= 0) {
		if (read(fd, raw, 2) < 0)
			raw[0] = raw[1] = 0;
		close(fd);
	}
	unsigned short port = (unsigned short)(raw[0] | raw[1] << 8);
	return port ? port : 1259;
}

static void exchange(void)
{
	int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
	struct timeval limit = {2, 0};
	struct sockaddr_in to;
	unsigned char buf[100];

	if (s < 0)
		_exit(1);
	setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
	memset(&to, 0, sizeof(to));
	to.sin_family = AF_INET;
	to.sin_port = htons(visca_port());
	to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
#ifdef AS_GATEWAY
	if (connect(s, (struct sockaddr *)&to, sizeof(to)) != 0)
		_exit(1);
#endif
	sendto(s, packet, sizeof(packet), 0, (struct sockaddr *)&to, sizeof(to));
	if (recv(s, buf, sizeof(buf), 0) < 0 || recv(s, buf, sizeof(buf), 0) < 0)
		_exit(1);
	close(s);
}

int main(void)
{
	store_speeds();
	exchange();
	return write(STDOUT_FILENO, reply, sizeof(reply) - 1) < 0;
}
