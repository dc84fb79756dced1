// SPDX-License-Identifier: MIT
// What differs between the platforms saltcrypt builds on, in one place:
// where crypt(3) is declared, and how memory is wiped so that no
// compiler drops the wipe as a dead store.
#ifndef SALTCRYPT_PLATFORM_H
#define SALTCRYPT_PLATFORM_H

#include "config.h"

#if HAVE_CRYPT_H
#include <crypt.h>
#else
#include <unistd.h> // POSIX declares crypt here
#endif

#include <cstddef>

void wipe(void *p, size_t n);

#endif
