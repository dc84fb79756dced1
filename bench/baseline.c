/* The floor saltcrypt is measured against: the same job in plain C with
 * no checks at all.  Prompt, one read, the salt argument or a
 * clock-seeded two-character salt, crypt, write. */
#include <crypt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static const char alphabet[] =
	"./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

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
		sprintf(buf, "%c%c", alphabet[rand() & 63], alphabet[rand() & 63]);
		salt = buf;
	}
	result = crypt(pass, salt);
	write(1, result, strlen(result));
	write(1, "\n", 1);
	return 0;
}
