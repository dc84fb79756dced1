// SPDX-License-Identifier: MIT
// saltcrypt's messages about a salt argument, as the tests expect them:
// the argument quoted as the command shows it, cut after 40 characters.
#ifndef SALTCRYPT_TESTS_MESSAGES_H
#define SALTCRYPT_TESTS_MESSAGES_H

#include <string>

inline const std::string usage_line = "usage: saltcrypt [salt] | saltcrypt -q salt";

inline std::string quoted(const std::string &arg)
{
	return "'" + (arg.size() > 40 ? arg.substr(0, 40) + "..." : arg) + "'";
}

inline std::string invalid(const std::string &arg, const std::string &why = "")
{
	return "invalid salt " + quoted(arg) + (why.empty() ? "; " + usage_line : ": " + why);
}

// What the shell leaves of a setting in double quotes.
inline std::string expanded(const std::string &arg)
{
	return invalid(arg, "quote a setting in single quotes, as in saltcrypt '$y$'; " + usage_line);
}

inline std::string empty_salt(const std::string &arg)
{
	return "empty salt in " + quoted(arg);
}

#endif
