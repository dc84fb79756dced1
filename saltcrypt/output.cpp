// SPDX-License-Identifier: MIT
#include "output.h"
#include "salt_arg.h"

#include <err.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>

bool prompted = false;
bool line_echoed = false;
bool open_line = false;
const char *locked_field = nullptr;

const char *locked_field_for(const char *salt_arg)
{
	return salt_arg != nullptr && strncmp(salt_arg, "*0", 2) == 0 ? "*1" : "*0";
}

bool same_terminal(int a, int b)
{
	termios t{};
	struct stat x {};
	struct stat y {};
	return tcgetattr(a, &t) == 0 && fstat(a, &x) == 0 && fstat(b, &y) == 0 && S_ISCHR(y.st_mode) &&
	       x.st_rdev == y.st_rdev;
}

// saltcrypt installs no signal handler, but a sanitizer's or a
// debugger's may interrupt a call.
bool again(int fd, short events)
{
	if (errno == EINTR)
		return true;
	if (errno != EAGAIN && errno != EWOULDBLOCK)
		return false;
	pollfd p{fd, events, 0};
	return poll(&p, 1, -1) >= 0 || errno == EINTR;
}

namespace {

// Writes all of s to standard output, finishing short writes, and tells
// whether it could.
bool write_out(std::string_view s)
{
	while (!s.empty()) {
		ssize_t w = write(1, s.data(), s.size());
		if (w < 0 && again(1, POLLOUT))
			continue;
		if (w < 0)
			return false;
		s = {s.data() + w, s.size() - static_cast<size_t>(w)}; // unchecked, as byte_at() in salt_arg.cpp
	}
	return true;
}

// text and a newline as one line in buf, for one write, so that a
// failure never leaves a whole line behind it.  At the terminal the
// password was typed at, a line that would follow the typed text starts
// a line of its own; output to a pipe or a file keeps its bytes exactly.
// text is shorter than max_hash.
std::string_view as_line(std::string_view text, char (&buf)[max_hash + 1])
{
	size_t fresh = open_line && same_terminal(0, 1) ? 1 : 0;
	if (fresh != 0)
		open_line = false;
	buf[0] = '\n';
	memcpy(buf + fresh, text.data(), text.size());
	buf[fresh + text.size()] = '\n';
	return {buf, fresh + text.size() + 1};
}

} // namespace

// A write that fails leaves no room for a locked field either: the
// status alone tells the caller.
void put_out(std::string_view s)
{
	if (!write_out(s)) {
		locked_field = nullptr;
		fail(errno, "cannot write to standard output");
	}
}

void put_line(std::string_view text)
{
	char buf[max_hash + 1];
	put_out(as_line(text, buf));
}

// The message says what went wrong first, so a locked field that cannot
// be written is not reported.
void fail(int error, const char *format, ...) // NOLINT(cert-dcl50-cpp): formats as err(3) does
{
	if (const char *field = locked_field) {
		char buf[max_hash + 1];
		locked_field = nullptr;
		(void)write_out(as_line(field, buf));
	}
	if (((prompted && !line_echoed && same_terminal(2, 1)) || (open_line && same_terminal(2, 0))) &&
	    write(2, "\n", 1) < 0) {
		// Nothing more can be reported than the message itself.
	}
	va_list args;
	va_start(args, format);
	errno = error;
	if (error != 0)
		verr(1, format, args);
	verrx(1, format, args);
}
