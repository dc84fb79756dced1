// SPDX-License-Identifier: MIT
// The salt argument of saltcrypt: checked before the prompt, completed with
// a fresh random salt when it names only a method, never hashed unsalted.
#ifndef SALTCRYPT_SETTING_H
#define SALTCRYPT_SETTING_H

#include <cstddef>

// Room for a setting that saltcrypt completes, and its NUL.
constexpr size_t max_setting = 256;

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

// Writes into out, for --help, the methods this libcrypt can make a salt
// for, with their prefixes and names and its default marked, and returns
// the length written.
size_t list_methods(char *out, size_t size);

// The setting to hash with for the salt argument arg: arg itself, or arg
// completed into setting.  Ends the run with a message, before anything is
// read, when arg cannot be used.
const char *choose_salt(const char *arg, char (&setting)[max_setting]);

#endif
