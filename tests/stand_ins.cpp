// SPDX-License-Identifier: MIT
// C library calls that a test preloads into saltcrypt to play what the
// machine cannot show on demand.  Each plays its part only when its
// variable is set, and is the real call otherwise.
//   SALTCRYPT_LSEEK=never   standard input a regular file that cannot seek
//   SALTCRYPT_LSEEK=back    one whose offset cannot be set back
//   SALTCRYPT_CRYPT=HASH    a libcrypt whose crypt returns HASH
//   SALTCRYPT_TIME=FILE     a clock that reads the seconds from FILE
//   SALTCRYPT_WRITES=FILE   a record in FILE of the size of each write
//                           to standard output, one a line
//   SALTCRYPT_EINTR=MS,FD   a signal every MS milliseconds, whose handler
//                           does not restart calls: a call that blocks
//                           fails with EINTR; each writes a byte to FD
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/time.h>
#include <sys/types.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
// Declared here, not through <unistd.h> and <ctime>, whose declarations
// of the calls stood in for would not match these definitions.
extern "C" int close(int fd);

namespace {

template <typename F> F real(const char *name)
{
	return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

using write_fn = ssize_t (*)(int, const void *, size_t);
using read_fn = ssize_t (*)(int, void *, size_t);

} // namespace

extern "C" off_t lseek(int fd, off_t offset, int whence)
{
	const char *how = getenv("SALTCRYPT_LSEEK");
	if (how != nullptr && fd == 0 && (strcmp(how, "never") == 0 || (strcmp(how, "back") == 0 && offset < 0))) {
		errno = ESPIPE;
		return -1;
	}
	return real<off_t (*)(int, off_t, int)>("lseek")(fd, offset, whence);
}

extern "C" char *crypt(const char *key, const char *setting)
{
	if (char *hash = getenv("SALTCRYPT_CRYPT"))
		return hash;
	return real<char *(*)(const char *, const char *)>("crypt")(key, setting);
}

extern "C" time_t time(time_t *t)
{
	const char *clock = getenv("SALTCRYPT_TIME");
	if (clock == nullptr)
		return real<time_t (*)(time_t *)>("time")(t);
	char digits[32] = "";
	int fd = open(clock, O_RDONLY);
	if (fd >= 0) {
		(void)real<read_fn>("read")(fd, digits, sizeof digits - 1);
		close(fd);
	}
	time_t now = static_cast<time_t>(strtoll(digits, nullptr, 10));
	if (t != nullptr)
		*t = now;
	return now;
}

extern "C" ssize_t write(int fd, const void *buf, size_t n)
{
	static const write_fn next = real<write_fn>("write");
	const char *record = getenv("SALTCRYPT_WRITES");
	if (fd == 1 && record != nullptr) {
		int log = open(record, O_WRONLY | O_APPEND);
		char line[32];
		int len = snprintf(line, sizeof line, "%zu\n", n);
		if (log >= 0 && len > 0)
			(void)next(log, line, static_cast<size_t>(len));
		close(log);
	}
	return next(fd, buf, n);
}

namespace {

int report = -1;
write_fn plain_write = nullptr; // looked up before any signal

void interrupted(int)
{
	int saved = errno;
	(void)plain_write(report, "!", 1);
	errno = saved;
}

__attribute__((constructor)) void interrupt_often()
{
	// Not in a wrapper such as valgrind, whose exec would keep the timer
	// and lose the handler.
	const char *ms = getenv("SALTCRYPT_EINTR");
	if (ms == nullptr || strcmp(program_invocation_short_name, "saltcrypt") != 0)
		return;
	plain_write = real<write_fn>("write");
	struct sigaction quiet {};
	quiet.sa_handler = interrupted;
	sigaction(SIGALRM, &quiet, nullptr);
	const char *fd = strchr(ms, ',');
	report = fd != nullptr ? atoi(fd + 1) : -1;
	const timeval every{0, static_cast<suseconds_t>(atoi(ms)) * 1000};
	const itimerval timer{every, every};
	setitimer(ITIMER_REAL, &timer, nullptr);
}

} // namespace
