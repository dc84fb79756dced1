// SPDX-License-Identifier: MIT
// saltcrypt: prompt for a password and print its crypt(3) hash.
//
// Only the C library and libcrypt are used, through direct reads and
// writes on the standard descriptors: the command is run once per
// password and must cost no more than the same calls made from C.

#include "platform.h"
#include "salt.h"
#include "setting.h"

#include <err.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view prompt = "Password to be encrypted: ";
static_assert(prompt.size() == 26);

// The longest password taken, in bytes; pass holds it and its NUL.
constexpr size_t max_pass = 24;

// How much of an over-long line is drained.  A terminal holds at most
// 4 KiB of a line, so one is always drained whole; /dev/zero is not read
// forever.
constexpr size_t max_line = size_t{64} * 1024;

// Room for the hash and its newline; crypt's results are far shorter.
constexpr size_t max_hash = 512;

// Ctrl-\ during a slow hash, or any crash, must not write the password
// to disk.
void no_core_dumps()
{
	const rlimit none{0, 0};
	if (setrlimit(RLIMIT_CORE, &none) != 0)
		err(1, "cannot turn off core dumps");
}

// Writes all of s, finishing short writes and riding out signals.
void put_out(std::string_view s)
{
	while (!s.empty()) {
		ssize_t w = write(1, s.data(), s.size());
		if (w < 0 && errno == EINTR)
			continue;
		if (w <= 0) {
			if (w == 0)
				errno = EIO;
			err(1, "cannot write to standard output");
		}
		s.remove_prefix(static_cast<size_t>(w));
	}
}

// Answers --version, --help and -h, and tells whether arg was one of
// them.  No setting of any method starts with "-", so no salt is lost.
bool answer_option(const char *arg)
{
	std::string_view a(arg);
	if (a == "--version")
		put_out("saltcrypt " SALTCRYPT_VERSION "\n");
	else if (a == "--help" || a == "-h")
		put_out("usage: saltcrypt [salt]\n"
			"Print the crypt(3) hash of a password read from standard input.\n");
	else
		return false;
	return true;
}

// Takes the first line of standard input, without its newline, into pass.
// Nothing past the newline is consumed, so the next reader of the same
// file or terminal gets the next line: a regular file is read in blocks
// and its offset set back to just past the newline, anything else a byte
// at a time.  An over-long line or one holding a NUL is drained, up to
// max_line, so that no piece of a password is left for a shell to run,
// and refused.  What was read is wiped on every way out.
void read_password(char (&pass)[max_pass + 1])
{
	char chunk[512];
	struct stat st {};
	size_t want = fstat(0, &st) == 0 && S_ISREG(st.st_mode) ? sizeof chunk : 1;
	size_t n = 0; // bytes of the line so far, never above max_line
	bool ended = false;
	bool nul = false;
	int error = 0;

	while (!ended && n < max_line) {
		ssize_t r = read(0, chunk, std::min(want, max_line - n));
		if (r < 0 && errno == EINTR)
			continue;
		if (r <= 0) {
			error = r < 0 ? errno : 0;
			break;
		}
		size_t len = static_cast<size_t>(r);
		if (const char *nl = static_cast<const char *>(memchr(chunk, '\n', len))) {
			size_t past = len - static_cast<size_t>(nl - chunk) - 1;
			len -= past + 1;
			ended = true;
			if (past > 0 && lseek(0, -static_cast<off_t>(past), SEEK_CUR) < 0)
				error = errno;
		}
		nul = nul || memchr(chunk, '\0', len) != nullptr;
		if (n < max_pass)
			memcpy(pass + n, chunk, std::min(len, max_pass - n));
		n += len;
	}
	wipe(chunk, sizeof chunk);

	if (error != 0 || n > max_pass || nul) {
		wipe(pass, sizeof pass);
		errno = error;
		if (error != 0)
			err(1, "cannot read the password");
		errx(1, "%s", n > max_pass ? "password longer than 24 bytes" : "password contains a NUL byte");
	}
	if (n == 0 && !ended)
		errx(1, "no password: standard input is empty");
	pass[n] = '\0';
}

// Hashes pass and wipes it.  libcrypt may signal failure with a null
// pointer or with a short string starting with '*', which no valid hash
// contains.
const char *hash(char (&pass)[max_pass + 1], const char *salt)
{
	errno = 0;
	const char *result = crypt(pass, salt);
	int error = errno;
	wipe(pass, sizeof pass);
	if (result == nullptr || result[0] == '*') {
		errno = error;
		if (error != 0)
			err(1, "cannot hash the password");
		errx(1, "cannot hash the password");
	}
	return result;
}

// The hash and its newline go out in one write, so that a failure never
// leaves a whole hash line behind it.
void put_line(const char *result)
{
	char line[max_hash];
	size_t n = strlen(result);
	if (n >= sizeof line)
		errx(1, "cannot hash the password: hash too long");
	std::copy_n(result, n, line);
	line[n] = '\n';
	put_out(std::string_view(line, n + 1));
}

} // namespace

int main(int argc, char *argv[])
{
	char pass[max_pass + 1];
	const char *salt = nullptr;
	char buf[24];
	char setting[max_setting];

	if (argc == 2 && answer_option(argv[1]))
		return 0;
	no_core_dumps();
	if (argc == 2)
		salt = choose_salt(argv[1], setting);

	put_out(prompt);
	read_password(pass);

	if (salt == nullptr) {
		generate_salt(buf);
		salt = buf;
	}

	put_line(hash(pass, salt));
	return 0;
}
