// SPDX-License-Identifier: MIT
// Preloaded by a test to play a libcrypt whose configuration disables
// MD5-crypt, which the system's own libcrypt does not do.
#include <crypt.h>

#include <cstring>

extern "C" int crypt_checksalt(const char *setting)
{
	return strncmp(setting, "$1$", 3) == 0 ? CRYPT_SALT_METHOD_DISABLED : CRYPT_SALT_OK;
}
