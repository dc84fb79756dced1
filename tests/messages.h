// SPDX-License-Identifier: MIT
// saltcrypt's messages about a salt argument, as the tests expect them:
// the argument quoted as the command shows it, cut after 40 characters.
#ifndef SALTCRYPT_TESTS_MESSAGES_H
#define SALTCRYPT_TESTS_MESSAGES_H

#include <string>

inline std::string quoted(const std::string &arg)
{
	return "'" + (arg.size() > 40 ? arg.substr(0, 40) + "..." : arg) + "'";
}

// An argument the shell may have mangled is empty or holds a '$'.
inline std::string invalid(const std::string &arg, const std::string &why = "")
{
	const std::string usage = "usage: saltcrypt [-q] [salt]";
	bool mangled = arg.empty() || arg.find('$') != std::string::npos;
	return "invalid salt " + quoted(arg) +
	       (!why.empty()   ? ": " + why
		: mangled ? ": quote a setting in single quotes, as in saltcrypt '$y$'; " + usage
			  : "; " + usage);
}

inline std::string empty_salt(const std::string &arg)
{
	return "empty salt in " + quoted(arg);
}

#endif
