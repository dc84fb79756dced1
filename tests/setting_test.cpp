// SPDX-License-Identifier: MIT
#include "setting.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Settings of every method crypt(5) lists, with where their salt begins
// (-1: the setting ends before its parameters do) and whether they are a
// bare method prefix.
TEST(Setting, FindsTheSaltOfEveryMethod)
{
	struct Case {
		std::string s;
		int salt;
		bool prefix;
	};
	const Case cases[] = {
		{"ab", 0, false},
		{"abJnggxhB/yWI", 0, false},
		{"_", -1, true},
		{"_J9.", -1, false},
		{"_J9..", 5, false},
		{"_J9..abcd", 5, false},
		{"$1$", 3, true},
		{"$1$abc$", 3, false},
		{"$1$rounds=5$", 3, false}, // MD5-crypt has no rounds: that is a salt
		{"$5$rounds=5000$abc", 15, false},
		{"$6$rounds=5000", -1, false},
		{"$6$abc", 3, false},
		{"$6$$", 3, false},
		{"$y$", -1, true},
		{"$y$j9T", -1, false},
		{"$y$j9T$", 7, false},
		{"$gy$j9T$abc", 8, false},
		{"$2b$04$abc", 7, false},
		{"$2y$", -1, true},
		{"$md5", -1, true},
		{"$md5$abc$", 5, false},
		{"$md5,rounds=5000$abc$", 17, false},
		{"$sha1$", -1, true},
		{"$sha1$4$abc$", 8, false},
		{"$7$CU", -1, false},
		{"$7$CU..../....abc", 14, false},
		{"$3$$8cc19b6a", 3, false},
		{"$Y$", 3, false},
		{"$", -1, false},
		{"", 0, false},
	};
	for (const Case &c : cases) {
		const char *salt = salt_start(c.s.c_str());
		EXPECT_EQ(salt == nullptr ? -1 : salt - c.s.c_str(), c.salt) << c.s;
		EXPECT_EQ(is_method_prefix(c.s.c_str()), c.prefix) << c.s;
	}
}

} // namespace
