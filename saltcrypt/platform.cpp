// SPDX-License-Identifier: MIT
#include "platform.h"

#include <cstring>
#if HAVE_EXPLICIT_BZERO
#include <strings.h>
#endif

void wipe(void *p, size_t n)
{
#if HAVE_EXPLICIT_BZERO
	explicit_bzero(p, n);
#elif HAVE_MEMSET_S
	memset_s(p, n, 0, n);
#else
	// Stores through a volatile pointer are never optimised away.
	volatile unsigned char *v = static_cast<unsigned char *>(p);
	while (n-- > 0)
		*v++ = 0;
#endif
}
