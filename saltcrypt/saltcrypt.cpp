// SPDX-License-Identifier: MIT
// saltcrypt: prompt for a password and print its crypt(3) hash.
//
// Only the C library and libcrypt are used, through direct reads and
// writes on the standard descriptors: the command is run once per
// password and must cost no more than the same calls made from C.

#include "platform.h"
#include "clock_salt.h"
#include "salt_arg.h"

#include <err.h>
#include <getopt.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view prompt = "Password to be encrypted: ";
static_assert(prompt.size() == 26);

// The longest password taken, in bytes: the longest passphrase libcrypt
// accepts.  pass holds it and its NUL.
#ifdef CRYPT_MAX_PASSPHRASE_SIZE
constexpr size_t max_pass = CRYPT_MAX_PASSPHRASE_SIZE - 1;
#else
constexpr size_t max_pass = 511;
#endif

// How much of an over-long line is drained from a pipe, socket or
// terminal.  A terminal holds at most 4 KiB of a line, so one is always
// drained whole; /dev/zero is not read forever.  A regular file is
// drained to the line's end, which costs next to nothing in large blocks.
constexpr size_t max_line = size_t{64} * 1024;

// Where the terminal's cursor may stand: after the prompt, until the
// echo of a typed newline ends its line; after typed text that no
// newline ended (Ctrl-D did).
bool prompted = false;
bool line_echoed = false;
bool open_line = false;

// Whether descriptor a is a terminal, and b the same one.
bool same_terminal(int a, int b)
{
	termios t{};
	struct stat x {};
	struct stat y {};
	return tcgetattr(a, &t) == 0 && fstat(a, &x) == 0 && fstat(b, &y) == 0 && S_ISCHR(y.st_mode) &&
	       x.st_rdev == y.st_rdev;
}

// Ends the run with one line on standard error, and the system's reason
// when error is set.  Where the cursor stands after the prompt or typed
// text, on the same terminal, the message starts a line of its own.
[[noreturn]] void fail(const char *what, int error = 0)
{
	if (((prompted && !line_echoed && same_terminal(2, 1)) || (open_line && same_terminal(2, 0))) &&
	    write(2, "\n", 1) < 0) {
		// Nothing more can be reported than the message itself.
	}
	errno = error;
	if (error != 0)
		err(1, "%s", what);
	errx(1, "%s", what);
}

// Tells whether a read or write that failed with errno should be made
// again.  A descriptor that the caller left non-blocking is waited on, as
// a blocking one would be.  saltcrypt installs no signal handler, but a
// sanitizer's or a debugger's may interrupt a call.
bool again(int fd, short events)
{
	if (errno == EINTR)
		return true;
	if (errno != EAGAIN && errno != EWOULDBLOCK)
		return false;
	pollfd p{fd, events, 0};
	return poll(&p, 1, -1) >= 0 || errno == EINTR;
}

// Ctrl-\ during a slow hash, or any crash, must not write the password
// to disk.
void no_core_dumps()
{
	const rlimit none{0, 0};
	if (setrlimit(RLIMIT_CORE, &none) != 0)
		fail("cannot turn off core dumps", errno);
}

// Writes all of s, finishing short writes.
void put_out(std::string_view s)
{
	while (!s.empty()) {
		ssize_t w = write(1, s.data(), s.size());
		if (w < 0) {
			if (again(1, POLLOUT))
				continue;
			fail("cannot write to standard output", errno);
		}
		s.remove_prefix(static_cast<size_t>(w));
	}
}

void put_help()
{
	char text[3072];
	int n = snprintf(text, sizeof text,
			 "%s\n"
			 "       saltcrypt -V | --version\n"
			 "       saltcrypt -h | --help\n"
			 "Write the prompt \"%.*s\" to standard output, read the password\n"
			 "from the first line of standard input, and write its crypt(3) hash and a\n"
			 "newline after the prompt.  The password is at most %zu bytes, the longest\n"
			 "that libcrypt takes.\n"
			 "  -q, --quiet  write the hash line alone, with no prompt\n"
			 "Give a method's name or prefix for a fresh random salt, as in saltcrypt\n"
			 "yescrypt or saltcrypt '$y$', or a whole setting, as the one argument.\n"
			 "Without one, the salt is a traditional DES salt made from the clock: for\n"
			 "legacy systems only.  The reference is 'man saltcrypt'.\n\n",
			 usage, static_cast<int>(prompt.size()), prompt.data(), max_pass);
	size_t used = n > 0 ? std::min(static_cast<size_t>(n), sizeof text - 1) : 0;
	used += list_methods(text + used, sizeof text - used);
	put_out(std::string_view(text, used));
}

// Reads the options, wherever they stand before "--", and tells whether
// one was answered: --help and --version are, at once.  An unknown option
// is refused, whatever follows it: no setting of any method starts with
// "-", so no salt is lost.
bool answered(int argc, char *argv[], bool &quiet)
{
	static const option longs[] = {{"quiet", no_argument, nullptr, 'q'},
				       {"help", no_argument, nullptr, 'h'},
				       {"version", no_argument, nullptr, 'V'},
				       {nullptr, 0, nullptr, 0}};
	opterr = 0;
	for (int c = 0; (c = getopt_long(argc, argv, "qhV", longs, nullptr)) != -1;) {
		if (c == 'q') {
			quiet = true;
			continue;
		}
		if (c == 'h' || c == 'V') {
			c == 'h' ? put_help() : put_out("saltcrypt " SALTCRYPT_VERSION "\n");
			return true;
		}
		// A short option is named by its letter; a long one, or one given
		// an argument it does not take, by its word.
		char letter[] = {'-', static_cast<char>(optopt), '\0'};
		bool ours = optopt == 'q' || optopt == 'h' || optopt == 'V';
		char seen[max_shown + 4];
		errx(1, "unknown option '%s'; %s", shown(optopt != 0 && !ours ? letter : argv[optind - 1], seen), usage);
	}
	return false;
}

// More than one argument is the salt given in the wrong place, or with
// other words: say so, since the traditional salt used instead is weak.
void warn_ignored(int count)
{
	if (count > 1)
		warnx("warning: %d arguments ignored, so the salt is a traditional DES salt from the clock; "
		      "give the salt as the only argument, as in saltcrypt '$y$'",
		      count);
}

// Whether standard input is a regular file that can seek: it is read in
// blocks and its offset set back to just past the newline.  Some FUSE
// and /proc files are regular but cannot seek; they are read as a pipe is.
bool seekable_file()
{
	struct stat st {};
	return fstat(0, &st) == 0 && S_ISREG(st.st_mode) && lseek(0, 0, SEEK_CUR) >= 0;
}

// What a read of a line brought: its bytes, whether its newline came, and
// the system's error.  Neither, and fewer bytes than asked for, is the
// end of the input.
struct line {
	size_t n = 0;
	bool ended = false;
	int error = 0;
};

// Reads standard input into buf, up to size bytes or through the newline,
// which is not kept; nothing past the newline is consumed.  A seekable
// file is read in blocks and its offset set back to just past the
// newline; a pipe, socket or terminal is read a byte at a time.
line read_line(char *buf, size_t size, bool file)
{
	line l;
	while (!l.ended && l.n < size) {
		ssize_t r = read(0, buf + l.n, file ? size - l.n : 1);
		if (r < 0 && again(0, POLLIN))
			continue;
		if (r <= 0) {
			l.error = r < 0 ? errno : 0;
			break;
		}
		size_t len = static_cast<size_t>(r);
		if (const char *nl = static_cast<const char *>(memchr(buf + l.n, '\n', len))) {
			size_t past = len - static_cast<size_t>(nl - (buf + l.n)) - 1;
			len -= past + 1;
			l.ended = true;
			if (past > 0 && lseek(0, -static_cast<off_t>(past), SEEK_CUR) < 0)
				l.error = errno;
		}
		l.n += len;
	}
	return l;
}

// Reads and drops the rest of an over-long line, n bytes of which are in,
// so that no piece of a password is left for a shell to run: a file to
// the line's end, a pipe, socket or terminal to max_line bytes of the
// line.  Tells how the line ended.
line drain(bool file, size_t n)
{
	char chunk[max_line];
	size_t used = 0; // how much of chunk has held input
	line d;
	while (!d.ended && d.error == 0 && (file || n < max_line)) {
		size_t want = file ? sizeof chunk : max_line - n;
		d = read_line(chunk, want, file);
		used = std::max(used, d.n);
		n += d.n;
		if (!d.ended && d.n < want)
			break;
	}
	wipe(chunk, used);
	return d;
}

// Takes the first line of standard input, without its newline, into pass.
// Called once the prompt is out.  Nothing past the newline is consumed,
// so the next reader of the same file or terminal gets the next line.  An
// over-long line or one holding a NUL is refused, and what was read is
// wiped on every way out.
size_t read_password(char (&pass)[max_pass + 1])
{
	const bool file = seekable_file();
	line l = read_line(pass, sizeof pass, file);
	const size_t n = l.n;
	// Past max_pass bytes the line is refused for its length, so only the
	// bytes kept can make a NUL matter.
	const bool nul = memchr(pass, '\0', std::min(n, max_pass)) != nullptr;
	if (n > max_pass)
		l = drain(file, n);

	termios t{};
	const bool echo = tcgetattr(0, &t) == 0 && (t.c_lflag & ECHO) != 0;
	line_echoed = l.ended && echo;
	open_line = !l.ended && echo && n > 0;
	if (l.error != 0 || n > max_pass || nul) {
		wipe(pass, sizeof pass);
		if (l.error != 0)
			fail("cannot read the password", l.error);
		if (nul)
			fail("password contains a NUL byte");
		char what[64];
		(void)snprintf(what, sizeof what, "password longer than libcrypt's limit of %zu bytes", max_pass);
		fail(what);
	}
	if (n == 0 && !l.ended)
		fail("no password: standard input is empty");
	pass[n] = '\0';
	return n;
}

// libcrypt leaves pieces of the password in the stack frames it used,
// below its caller's: a stretch of stack below the caller's frame is
// cleared after each hash.  Its methods reach about 3 KiB deep; a
// sanitizer's interceptor in between takes more.
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t crypt_stack = 16384;
#elif defined(__has_feature)
constexpr size_t crypt_stack = __has_feature(address_sanitizer) ? 16384 : 4096;
#else
constexpr size_t crypt_stack = 4096;
#endif

[[gnu::noinline]] void wipe_stack()
{
	char below[crypt_stack];
	wipe(below, sizeof below);
}

// Hashes pass and wipes it.  libcrypt may signal failure with a null
// pointer or with a short string starting with '*', which no valid hash
// contains; what it refuses then, the salt check could not tell.  A hash
// whose salt is empty is never printed, whatever the setting looked like.
// Messages quote the setting as given.
const char *hash(char (&pass)[max_pass + 1], const char *salt, const char *given)
{
	const char *result = crypt(pass, salt);
	wipe(pass, sizeof pass);
	wipe_stack();
	if (result == nullptr || result[0] == '*') {
		char seen[max_shown + 4];
		char what[max_shown + 64];
		(void)snprintf(what, sizeof what, "libcrypt cannot hash with the setting '%s'", shown(given, seen));
		fail(what);
	}
	if (!has_salt(result))
		fail("cannot hash the password: the hash has no salt");
	return result;
}

// The hash and its newline go out in one write, so that a failure never
// leaves a whole hash line behind it.  At the terminal the password was
// typed at, a hash that would follow the typed text starts a line of its
// own; output to a pipe or a file keeps its bytes exactly.
void put_line(const char *result)
{
	char line[max_hash + 1];
	size_t fresh = open_line && same_terminal(0, 1) ? 1 : 0;
	size_t n = strlen(result);
	if (n >= max_hash)
		fail("cannot hash the password: hash too long");
	line[0] = '\n';
	memcpy(line + fresh, result, n + 1);
	line[fresh + n] = '\n';
	put_out(std::string_view(line, fresh + n + 1));
}

// Warns where the hash is weaker than it looks: the method read only
// part of the n-byte password, or the password ends in the CR of a file
// with Windows line ends, which nobody can type at a login prompt.
void warn_weaker(const char *salt, size_t n, bool cr)
{
	size_t used = bytes_used(salt);
	if (used > 0 && n > used)
		warnx("warning: this method uses only the first %zu bytes of the %zu-byte password", used, n);
	if (cr && (used == 0 || n <= used))
		warnx("warning: the password ends in a carriage return (CR), which is hashed with it");
}

} // namespace

int main(int argc, char *argv[])
{
	char pass[max_pass + 1];
	const char *salt = nullptr;
	char buf[24];
	char setting[max_setting];
	bool quiet = false;

	if (answered(argc, argv, quiet))
		return 0;
	const int count = argc - optind;
	const char *given = count == 1 ? argv[optind] : nullptr;
	warn_ignored(count);
	no_core_dumps();
	if (given != nullptr)
		salt = choose_salt(given, setting);

	if (!quiet) {
		put_out(prompt);
		prompted = true;
	}
	size_t n = read_password(pass);
	bool cr = n > 0 && pass[n - 1] == '\r';

	if (salt == nullptr) {
		generate_salt(buf);
		salt = buf;
	}

	put_line(hash(pass, salt, given != nullptr ? given : salt));
	warn_weaker(salt, n, cr);
	return 0;
}
