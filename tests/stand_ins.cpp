// SPDX-License-Identifier: MIT
// C library calls that a test preloads into saltcrypt to play what the
// machine cannot show on demand.  Each plays its part only when its
// variable is set, and is the real call otherwise.
//   SALTCRYPT_LSEEK=never  a regular file that cannot seek at all
//   SALTCRYPT_LSEEK=back   one whose offset cannot be set back
//   SALTCRYPT_CRYPT=...    a libcrypt whose crypt returns this hash
#include <dlfcn.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

template <typename F> F real(const char *name)
{
	return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

bool fails(off_t offset)
{
	const char *how = getenv("SALTCRYPT_LSEEK");
	return how != nullptr && (strcmp(how, "never") == 0 || (strcmp(how, "back") == 0 && offset < 0));
}

} // namespace

extern "C" char *crypt(const char *key, const char *setting)
{
	if (char *hash = getenv("SALTCRYPT_CRYPT"))
		return hash;
	return real<char *(*)(const char *, const char *)>("crypt")(key, setting);
}

extern "C" off_t lseek(int fd, off_t offset, int whence)
{
	if (fails(offset)) {
		errno = ESPIPE;
		return -1;
	}
	return real<off_t (*)(int, off_t, int)>("lseek")(fd, offset, whence);
}
