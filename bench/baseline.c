/* SPDX-License-Identifier: MIT */
/* The floor saltcrypt is measured against: the calls saltcrypt makes,
 * made from plain C with the least care that still does the job.  The
 * options read by getopt_long, core dumps off, the salt checked (and completed for a bare method prefix),
 * the prompt, the line of up to 511 bytes read a byte at a time (a seekable file in blocks,
 * its offset set back past the newline), a wait on a non-blocking
 * descriptor, the salt argument or a clock-seeded two-character salt,
 * crypt, the wipe of the password and of the stack crypt used, and one write of the hash line; failures end through
 * err(3), on a line of their own at a terminal. */
#include <crypt.h>
#include <err.h>
#include <errno.h>
#include <getopt.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

static const char alphabet[] =
	"./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

/* What libcrypt left of the password in its stack frames. */
static void __attribute__((noinline)) scrub(void)
{
	char below[4096];
	explicit_bzero(below, sizeof below);
}

static void fail(const char *what)
{
	struct termios t;
	int e = errno;
	if (tcgetattr(2, &t) == 0)
		write(2, "\n", 1);
	errno = e;
	err(1, "%s", what);
}

int main(int argc, char *argv[])
{
	static const char prompt[] = "Password to be encrypted: ";
	const struct rlimit none = {0, 0};
	struct stat st;
	struct pollfd p = {0, POLLIN, 0};
	char pass[CRYPT_MAX_PASSPHRASE_SIZE];
	char buf[24];
	char made[CRYPT_GENSALT_OUTPUT_SIZE];
	char line[512];
	static const struct option longs[] = {{"quiet", no_argument, NULL, 'q'}, {NULL, 0, NULL, 0}};
	int quiet = 0;
	while (getopt_long(argc, argv, "q", longs, NULL) == 'q')
		quiet = 1;
	const char *salt = argc - optind == 1 ? argv[optind] : NULL;
	const char *result;
	size_t n = 0;
	ssize_t r;
	char c;

	if (setrlimit(RLIMIT_CORE, &none) != 0)
		err(1, "setrlimit");
	if (salt != NULL && crypt_checksalt(salt) == CRYPT_SALT_INVALID)
		errx(1, "invalid salt");
	if (salt != NULL && strchr(salt + 1, '$') == salt + strlen(salt) - 1)
		salt = crypt_gensalt_rn(salt, 0, NULL, 0, made, sizeof made);
	if (!quiet && write(1, prompt, sizeof prompt - 1) != sizeof prompt - 1)
		err(1, "write");
	if (fstat(0, &st) != 0)
		err(1, "fstat");
	if (S_ISREG(st.st_mode) && lseek(0, 0, SEEK_CUR) >= 0) {
		r = read(0, line, sizeof line);
		const char *nl = r > 0 ? memchr(line, '\n', (size_t)r) : NULL;
		n = nl != NULL ? (size_t)(nl - line) : r > 0 ? (size_t)r : 0;
		if (n > sizeof pass - 1 || lseek(0, (off_t)n + 1 - r, SEEK_CUR) < 0)
			fail("read");
		memcpy(pass, line, n);
	} else {
		while (n < sizeof pass - 1 && ((r = read(0, &c, 1)) == 1 || (errno == EAGAIN && poll(&p, 1, -1) >= 0)))
			if (r == 1 && c == '\n')
				break;
			else if (r == 1)
				pass[n++] = c;
	}
	pass[n] = '\0';
	if (salt == NULL) {
		srand(time(NULL));
		sprintf(buf, "%c%c", alphabet[rand() & 63], alphabet[rand() & 63]);
		salt = buf;
	}
	result = crypt(pass, salt);
	explicit_bzero(pass, sizeof pass);
	scrub();
	if (result == NULL || result[0] == '*')
		fail("crypt");
	n = strlen(result);
	memcpy(line, result, n);
	line[n] = '\n';
	if (write(1, line, n + 1) != (ssize_t)(n + 1))
		fail("write");
	return 0;
}
