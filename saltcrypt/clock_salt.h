// SPDX-License-Identifier: MIT
// Salt generator for saltcrypt: the two-character salt used when the
// caller gives none.
#ifndef SALTCRYPT_CLOCK_SALT_H
#define SALTCRYPT_CLOCK_SALT_H

// Maps a value from 0 to 127 onto a character code of the salt alphabet
// "./0-9A-Za-z".
int fold_salt_char(int r);

// Seeds rand() from the clock and writes two salt characters and a NUL
// into buf.  Runs in the same second with the same C library give the
// same salt.
void generate_salt(char (&buf)[24]);

#endif
