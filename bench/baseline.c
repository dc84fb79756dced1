/* The floor saltcrypt is measured against: the same job in plain C with
 * no checks at all.  Prompt, one read, the salt argument or a
 * clock-seeded two-character salt, crypt, write. */
#include <crypt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static int fold(int r)
{
	if (r < 46)
		r += 46;
	if (r > 57 && r < 65)
		r += 7;
	if (r > 90 && r < 97)
		r += 6;
	if (r > 122)
		r -= 5;
	return r;
}

int main(int argc, char *argv[])
{
	static const char prompt[] = "Password to be encrypted: ";
	char pass[25];
	char buf[24];
	const char *salt = argc == 2 ? argv[1] : NULL;
	const char *result;
	ssize_t n;

	write(1, prompt, sizeof prompt - 1);
	n = read(0, pass, sizeof pass);
	if (n <= 0)
		return 1;
	pass[n - 1] = '\0';
	if (salt == NULL) {
		srand(time(NULL));
		sprintf(buf, "%c%c", fold(rand() & 0x7f), fold(rand() & 0x7f));
		salt = buf;
	}
	result = crypt(pass, salt);
	write(1, result, strlen(result));
	write(1, "\n", 1);
	return 0;
}
