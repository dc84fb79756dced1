// SPDX-License-Identifier: MIT
// saltcrypt: prompt for a password and print its crypt(3) hash.
//
// Only the C library and libcrypt are used, through direct reads and
// writes on the standard descriptors: the command is run once per
// password and must cost no more than the same calls made from C.

#include "platform.h"
#include "clock_salt.h"
#include "output.h"
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

// Ctrl-\ during a slow hash, or any crash, must not write the password
// to disk.
void no_core_dumps()
{
	const rlimit none{0, 0};
	if (setrlimit(RLIMIT_CORE, &none) != 0)
		fail(errno, "cannot turn off core dumps");
}

void put_help()
{
	char text[3072];
	int n = snprintf(text, sizeof text,
			 "usage: saltcrypt [salt]\n"
			 "       saltcrypt -q salt\n"
			 "       saltcrypt -V | --version\n"
			 "       saltcrypt -h | --help\n"
			 "Write the prompt \"%.*s\" to standard output, read the\n"
			 "password from the first line of standard input, and write its crypt(3)\n"
			 "hash and a newline after the prompt.  The password is at most %zu bytes,\n"
			 "the longest that libcrypt takes.\n"
			 "  -q, --quiet  write the hash line alone, with no prompt, for a script;\n"
			 "               needs exactly one salt, and writes *0, a locked password\n"
			 "               field, in place of the hash when it fails\n"
			 "Give a method's name or prefix for a fresh random salt, as in saltcrypt\n"
			 "yescrypt or saltcrypt '$y$', or a whole setting, as the one argument.\n"
			 "Without one, the salt is a traditional DES salt made from the clock: for\n"
			 "legacy systems only.  The reference is 'man saltcrypt'.\n\n",
			 static_cast<int>(prompt.size()), prompt.data(), max_pass);
	size_t used = n > 0 ? std::min(static_cast<size_t>(n), sizeof text - 1) : 0;
	used += list_methods(text + used, sizeof text - used);
	put_out(std::string_view(text, used));
}

// How saltcrypt was called: its options and its operands, the salts.
struct call {
	bool quiet = false;
	int salts = 0;
	const char *salt = nullptr;    // the first
	const char *unknown = nullptr; // the first unknown option
};

// Reads the options and operands, wherever they stand before "--", and
// tells whether --help or --version answered, at once.  The leading "-"
// of the option string hands the operands over in place, so that an
// option after the salt counts with POSIXLY_CORRECT set too.  An unknown
// option ends the options that answer but not the reading, so that its
// refusal knows of a -q after it.
bool answered(int argc, char *argv[], call &c)
{
	static const option longs[] = {{"quiet", no_argument, nullptr, 'q'},
				       {"help", no_argument, nullptr, 'h'},
				       {"version", no_argument, nullptr, 'V'},
				       {nullptr, 0, nullptr, 0}};
	static char letter[] = "-?";
	opterr = 0;
	for (int o = 0; (o = getopt_long(argc, argv, "-qhV", longs, nullptr)) != -1;) {
		if (o == 1) {
			c.salt = c.salts++ == 0 ? optarg : c.salt;
		} else if (o == 'q') {
			c.quiet = true;
		} else if ((o == 'h' || o == 'V') && c.unknown == nullptr) {
			o == 'h' ? put_help() : put_out("saltcrypt " SALTCRYPT_VERSION "\n");
			return true;
		} else if (c.unknown == nullptr) {
			// A short option is named by its letter; a long one, or one
			// given an argument it does not take, by its word.
			letter[1] = static_cast<char>(optopt);
			bool ours = optopt == 'q' || optopt == 'h' || optopt == 'V';
			c.unknown = optopt != 0 && !ours ? letter : argv[optind - 1];
		}
	}
	for (; optind < argc; optind++)
		c.salt = c.salts++ == 0 ? argv[optind] : c.salt;
	return false;
}

// Refuses a call that cannot give the hash asked for: an unknown option,
// or -q without exactly one salt, which a script needs to name its
// method.  Without -q, more than one argument is most likely the salt
// given in the wrong place, or with other words: the traditional salt
// used instead is weak, so say so.
void check_call(const call &c)
{
	char seen[max_shown + 4];
	if (c.unknown != nullptr)
		fail(0, "unknown option '%s'; %s", shown(c.unknown, seen), usage);
	if (c.quiet && c.salts == 0)
		fail(0, "-q needs a salt: name a method, as in saltcrypt -q '$y$'");
	if (c.quiet && c.salts > 1)
		fail(0, "-q takes one salt, not %d: name a method, as in saltcrypt -q '$y$'", c.salts);
	if (c.salts > 1)
		warnx("warning: %d arguments ignored, so the salt is a traditional DES salt from the clock; "
		      "give the salt as the only argument, as in saltcrypt '$y$'",
		      c.salts);
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
		// A byte at a time, a call of memchr would cost more than the byte.
		const char *nl = len == 1 ? (buf[l.n] == '\n' ? buf + l.n : nullptr)
					  : static_cast<const char *>(memchr(buf + l.n, '\n', len));
		if (nl != nullptr) {
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
			fail(l.error, "cannot read the password");
		if (nul)
			fail(0, "password contains a NUL byte");
		fail(0, "password longer than libcrypt's limit of %zu bytes", max_pass);
	}
	if (n == 0 && !l.ended)
		fail(0, "no password: standard input is empty");
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
	char seen[max_shown + 4];
	if (result == nullptr || result[0] == '*')
		fail(0, "libcrypt cannot hash with the setting '%s'", shown(given, seen));
	if (!has_salt(result))
		fail(0, "cannot hash the password: the hash has no salt");
	if (strlen(result) >= max_hash)
		fail(0, "cannot hash the password: hash too long");
	return result;
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
	call c;

	if (answered(argc, argv, c))
		return 0;
	if (c.quiet)
		locked_field = locked_field_for(c.salt);
	check_call(c);
	no_core_dumps();
	const char *given = c.salts == 1 ? c.salt : nullptr;
	if (given != nullptr)
		salt = choose_salt(given, setting);

	if (!c.quiet) {
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
