// saltcrypt: prompt for a password and print its crypt(3) hash.
//
// Only the C library and libcrypt are used, through direct reads and
// writes on the standard descriptors: the command is run once per
// password and must cost no more than the same calls made from C.

#include "salt.h"

#include <crypt.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view prompt = "Password to be encrypted: ";
static_assert(prompt.size() == 26);

// The longest password taken, in bytes; pass holds it and its NUL.
constexpr size_t max_pass = 24;

// A bad salt is echoed in its error; keep that line short and printable.
constexpr size_t max_shown = 40;

// Writes all of s, finishing short writes and riding out signals.
bool put(int fd, std::string_view s)
{
	while (!s.empty()) {
		ssize_t w = write(fd, s.data(), s.size());
		if (w < 0 && errno == EINTR)
			continue;
		if (w <= 0) {
			if (w == 0)
				errno = EIO;
			return false;
		}
		s.remove_prefix(static_cast<size_t>(w));
	}
	return true;
}

void append(char *line, size_t size, size_t &len, std::string_view s)
{
	for (char c : s)
		if (len + 1 < size)
			line[len++] = c;
}

// Reports one line on standard error and ends the run with status 1.
// err, when not 0, adds the system's reason.
[[noreturn]] void fail(std::string_view what, int err = 0)
{
	char line[256];
	size_t len = 0;

	append(line, sizeof line, len, "saltcrypt: ");
	append(line, sizeof line, len, what);
	if (err != 0) {
		append(line, sizeof line, len, ": ");
		append(line, sizeof line, len, strerror(err));
	}
	line[len++] = '\n';
	put(2, std::string_view(line, len));
	exit(1);
}

void put_out(std::string_view s)
{
	if (!put(1, s))
		fail("cannot write to standard output", errno);
}

// A salt libcrypt cannot use is refused before the prompt, so nobody
// types a password in vain.  The traditional two-character salt counts as
// a legacy method and stays usable.
void check_salt(const char *salt)
{
	switch (crypt_checksalt(salt)) {
	case CRYPT_SALT_OK:
	case CRYPT_SALT_METHOD_LEGACY:
	case CRYPT_SALT_TOO_CHEAP:
		return;
	default:
		break;
	}

	char what[128];
	size_t len = 0;
	size_t n = strlen(salt);

	append(what, sizeof what, len, "invalid salt '");
	for (size_t i = 0; i < n && i < max_shown; i++) {
		unsigned char c = static_cast<unsigned char>(salt[i]);
		append(what, sizeof what, len, c >= 0x20 && c < 0x7f ? std::string_view(&salt[i], 1) : "?");
	}
	append(what, sizeof what, len, n > max_shown ? "...'" : "'");
	append(what, sizeof what, len, "; usage: saltcrypt [salt]");
	fail(std::string_view(what, len));
}

// Takes the first line of standard input, without its newline, into pass.
// Reads go a byte at a time so that nothing past the newline is consumed:
// the next reader of the same file or terminal gets the next line.  An
// over-long line or one holding a NUL is still read to its end, so no
// piece of a password is left behind for a shell to run.
void read_password(char (&pass)[max_pass + 1])
{
	size_t n = 0;
	bool nul = false;

	for (;;) {
		char c = 0;
		ssize_t r = read(0, &c, 1);
		if (r < 0 && errno == EINTR)
			continue;
		if (r < 0)
			fail("cannot read the password", errno);
		if (r == 0) {
			if (n == 0)
				fail("no password: standard input is empty");
			break;
		}
		if (c == '\n')
			break;
		if (c == '\0')
			nul = true;
		if (n < max_pass)
			pass[n] = c;
		n++;
	}
	if (n > max_pass)
		fail("password longer than 24 bytes");
	if (nul)
		fail("password contains a NUL byte");
	pass[n] = '\0';
}

} // namespace

int main(int argc, char *argv[])
{
	char pass[max_pass + 1];
	const char *salt = nullptr;
	char buf[24];

	if (argc == 2) {
		salt = argv[1];
		check_salt(salt);
	}

	put_out(prompt);
	read_password(pass);

	if (salt == nullptr) {
		generate_salt(buf);
		salt = buf;
	}

	const char *result = crypt(pass, salt);
	int err = errno;
	explicit_bzero(pass, sizeof pass);
	// libcrypt may signal failure with a null pointer or with a short
	// string starting with '*', which no valid hash contains.
	if (result == nullptr || result[0] == '*')
		fail("cannot hash the password", err);

	put_out(result);
	put_out("\n");
	return 0;
}
