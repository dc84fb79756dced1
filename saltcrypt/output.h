// SPDX-License-Identifier: MIT
// What saltcrypt writes on its standard descriptors besides the prompt:
// the hash line, and the one line on standard error that ends a failed
// run, with a locked password field on standard output under -q.
#ifndef SALTCRYPT_OUTPUT_H
#define SALTCRYPT_OUTPUT_H

#include <string_view>

// Where the terminal's cursor may stand, as the run goes on: after the
// prompt, until the echo of a typed newline ends its line; after typed
// text that no newline ended (Ctrl-D did).
extern bool prompted;
extern bool line_echoed;
extern bool open_line;

// With -q, what standard output gets instead of a hash line when the run
// fails: a password field that no password verifies against, so that a
// script that stores "$(saltcrypt -q ...)" without looking at the status
// locks the account instead of opening it.  As crypt(3)'s failure token,
// it never equals the salt argument: "*0", or "*1" when that begins with
// "*0".  Null when no line is due.
extern const char *locked_field;
const char *locked_field_for(const char *salt_arg);

// Whether descriptor a is a terminal, and b the same one.
bool same_terminal(int a, int b);

// Tells whether a read or write on fd that failed with errno should be
// made again: after a signal, or once a descriptor that the caller left
// non-blocking is ready.
bool again(int fd, short events);

// Writes all of s to standard output, or ends the run.
void put_out(std::string_view s);

// Writes text and a newline to standard output in one write, on a line
// of its own at the terminal the password was typed at.
void put_line(std::string_view text);

// Ends the run with status 1: the message, and the system's reason for
// error when it is not 0, on a line of its own on standard error, after
// the locked field on standard output where one is due.
[[noreturn]] [[gnu::format(printf, 2, 3)]] void fail(int error, const char *format, ...);

#endif
