// SPDX-License-Identifier: MIT
// The salt argument of saltcrypt: checked before the prompt, completed with
// a fresh random salt when it names only a method, never hashed unsalted.
#ifndef SALTCRYPT_SALT_ARG_H
#define SALTCRYPT_SALT_ARG_H

#include <cstddef>

// Room for a setting that saltcrypt completes, and its NUL.
constexpr size_t max_setting = 256;

// Room for a hash and its NUL; libcrypt's are at most 383 bytes.
constexpr size_t max_hash = 512;

// No setting that libcrypt makes is this long (CRYPT_GENSALT_OUTPUT_SIZE);
// a longer one is checked with a second hash before it is used.
constexpr size_t max_made = 192;

// How saltcrypt is called, for the messages that refuse a call.
constexpr const char *usage = "usage: saltcrypt [salt] | saltcrypt -q salt";

// Settings and options are quoted in messages as shown() has them:
// printable ASCII only, so that none can drive a terminal, and cut after
// max_shown characters, so that the message stays one line.
constexpr size_t max_shown = 40;
const char *shown(const char *s, char (&out)[max_shown + 4]);

// True when s is exactly the bare prefix of a method, as crypt(5) and
// crypt_gensalt(3) write it: "$6$", "$y$", "$md5" or "$md5$", "_", ...
bool is_method_prefix(const char *s);

// Where the salt of setting (or hash) s begins, after the method's prefix
// and parameters; the salt runs to the next '$' or the end.  Null when s
// names no method, holds a byte outside its method's alphabet, has
// malformed parameters, ends before its salt, or is of a method that
// takes no salt.
const char *salt_start(const char *s);

// True when setting or hash s is laid out as its method has it and its
// salt is not empty.
bool has_salt(const char *s);

// How many bytes of the password the method of setting reads, or 0 when
// it reads them all: traditional DES reads 8, bcrypt 72.
size_t bytes_used(const char *setting);

// The bounds that libcrypt sets to a method's decimal parameter (digits
// 0: any number of them) and to its salt's length, for the tests that
// check them against libcrypt.
struct limits {
	unsigned long long lo, hi;
	unsigned digits;
	size_t min_salt;
};
bool method_limits(const char *prefix, limits &out);

// Writes into out, for --help, the methods this libcrypt can make a salt
// for, with their prefixes and names and its default marked, and returns
// the length written.
size_t list_methods(char *out, size_t size);

// The setting to hash with for the salt argument arg: arg itself, or arg
// completed into setting; a method's name, as crypt(5) gives it, is its
// bare prefix.  Ends the run with a message, before anything is
// read, when arg cannot be used.
const char *choose_salt(const char *arg, char (&setting)[max_setting]);

// choose_salt's first step: arg as it reads, completed, without asking
// libcrypt, which hashes a setting longer than max_made to check it.
const char *complete_salt(const char *arg, char (&setting)[max_setting]);

#endif
