// SPDX-License-Identifier: MIT
// libFuzzer target for the code that reads the salt argument.  fail()
// ends the command; here it checks the message and jumps back to the
// fuzzer instead.  On every input: no crash and no sanitizer report; a
// setting that is accepted passes crypt_checksalt and has a salt, a word
// is never read as its first two characters, and a cheap one hashes to a
// salted hash that hashes back to itself; a refusal is one printable line.
#include "output.h"
#include "platform.h"
#include "salt_arg.h"

#include <cerrno>
#include <csetjmp>
#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

std::jmp_buf refused;

void check_printable(const char *s)
{
	for (; *s != '\0'; s++)
		if (*s < 0x20 || *s > 0x7e)
			abort();
}

// Cheap to hash: traditional DES, MD5-crypt, SHA-crypt at its default or
// lowest rounds, bcrypt at its lowest cost, and scrypt at its least
// memory.
bool cheap(std::string_view s)
{
	for (const char *p : {"$5$rounds=1000$", "$6$rounds=1000$", "$1$", "$2b$04$", "$7$4/..../...."})
		if (s.rfind(p, 0) == 0)
			return true;
	if ((s.rfind("$5$", 0) == 0 || s.rfind("$6$", 0) == 0) && s.find("$rounds=") != 2)
		return true;
	return s[0] != '$' && s[0] != '_';
}

} // namespace

void fail(int error, const char *format, ...)
{
	char message[1024];
	va_list args;
	va_start(args, format);
	vsnprintf(message, sizeof message, format, args);
	va_end(args);
	check_printable(message);
	check_printable(strerror(error));
	std::longjmp(refused, 1);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	// An argument ends at its first NUL, as in argv.
	char arg[1024];
	size = std::min(size, sizeof arg - 1);
	memcpy(arg, data, size);
	arg[size] = '\0';

	const char *salt = salt_start(arg);
	if (salt != nullptr && (salt < arg || salt > arg + strlen(arg) || is_method_prefix(arg)))
		abort();

	// A setting as long as max_made, once completed, is hashed twice
	// before it is taken, at the cost it names: only the cheap ones go
	// on, so that each input stays quick.
	char setting[max_setting];
	const char *volatile use = nullptr;
	if (setjmp(refused) == 0)
		use = complete_salt(arg, setting);
	if (use == nullptr || (strlen(use) >= max_made && !cheap(use)))
		return 0;
	use = nullptr;
	if (setjmp(refused) == 0)
		use = choose_salt(arg, setting);
	if (use == nullptr)
		return 0;
#if HAVE_CRYPT_CHECKSALT
	int verdict = crypt_checksalt(use);
	if (verdict != CRYPT_SALT_OK && verdict != CRYPT_SALT_METHOD_LEGACY && verdict != CRYPT_SALT_TOO_CHEAP)
		abort();
#endif
	if (!has_salt(use))
		abort();
	// libcrypt reads a traditional setting shorter than a whole hash as its
	// first two characters: a longer word is a method's name, completed,
	// or refused.
	size_t n = strlen(arg);
	if (use == arg && arg[0] != '$' && arg[0] != '_' && n != 2 && n < 13)
		abort();
	// A cheap setting hashes to a salted hash, which hashes back to itself:
	// a printed hash always verifies.
	if (cheap(use)) {
		const char *made = crypt("pw", use);
		if (made == nullptr || made[0] == '*' || !has_salt(made))
			abort();
		char hash[max_hash];
		strcpy(hash, made);
		const char *again = crypt("pw", hash);
		if (again == nullptr || strcmp(again, hash) != 0)
			abort();
	}
	return 0;
}
