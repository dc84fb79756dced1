// SPDX-License-Identifier: MIT
#include "config.h"
#include "platform.h"
#include "setting.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Settings of every method crypt(5) lists, with where their salt begins
// (-1: none, as the setting is malformed, cut short or a bare prefix) and
// whether they are a bare method prefix.
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
		{"ab-", -1, false},
		{"ab$x", -1, false},
		{"_", -1, true},
		{"_J9.", -1, false},
		{"_J9..", 5, false},
		{"_J9..abcd", 5, false},
		{"$1$", -1, true},
		{"$1$abc$", 3, false},
		{"$1$rounds=5$", 3, false}, // MD5-crypt has no rounds: that is a salt
		{"$5$rounds=5000$abc", 15, false},
		{"$6$rounds=5000", -1, false},
		{"$6$rounds=01000$abc", -1, false},
		{"$6$rounds=$abc", -1, false},
		{"$6$rounds=5000x$abc", -1, false},
		{"$6$sa,l=t$", 3, false},
		{"$6$a b$", -1, false},
		{"$1$a:b$", -1, false},
		{"$6$abc", 3, false},
		{"$6$$", 3, false},
		{"$y$", -1, true},
		{"$y$j9T", -1, false},
		{"$y$j9T$", 7, false},
		{"$y$$", -1, false},
		{"$y$j-T$abc", -1, false},
		{"$gy$j9T$abc", -1, false}, // does not decode
		{"$gy$j9T$abc.", 8, false},
		{"$2b$04$abc", -1, false}, // shorter than bcrypt's salt
		{"$2b$04$abcdefghijklmnopqrstuv", 7, false},
		{"$2a$05$", 7, false},
		{"$2y$", -1, true},
		{"$md5", -1, true},
		{"$md5$", -1, true},
		{"$md515", -1, false},
		{"$md5$abc$", 5, false},
		{"$md5,rounds=5000$abc$", 17, false},
		{"$md5,rounds=5000", -1, false},
		{"$md5,x=1$abc$", -1, false},
		{"$md5,ROUNDS=5$abc$", -1, false},
		{"$sha1", -1, true},
		{"$sha1$", -1, true},
		{"$sha1xyz", -1, false},
		{"$sha1$4$abc$", 8, false},
		{"$sha1$0$abc$", -1, false},
		{"$7$CU", -1, false},
		{"$7$CU..../....abc", 14, false},
		{"$3$", -1, false},
		{"$3$$8cc19b6a", -1, false},
		{"$6", -1, false},
		{"$Y$", -1, false},
		{"$", -1, false},
		{"", -1, false},
	};
	for (const Case &c : cases) {
		const char *salt = salt_start(c.s.c_str());
		EXPECT_EQ(salt == nullptr ? -1 : salt - c.s.c_str(), c.salt) << c.s;
		EXPECT_EQ(is_method_prefix(c.s.c_str()), c.prefix) << c.s;
	}
}

// The check made of every hash before it is printed: the hashes libcrypt
// makes of an empty salt have none.
TEST(Setting, TellsASaltedHash)
{
	struct Case {
		const char *hash;
		bool salted;
	};
	const Case cases[] = {
		{"abJnggxhB/yWI", true},
		{"_J9..abcdTZ/33djMPto", true},
		{"$1$abc$Kb85XxsXB.VXinPhbS4431", true},
		{"$md5$ab$$hxNuLWpwnVsRHMW58a./91", true},
		{"$sha1$4$abc$Ipy0kRebL/y4smWycGPzxgxw9g9L", true},
		{"$2b$04$abcdefghijklmnopqrstuuyvPXIbu7xe6/CED2DzX8z6Si09MlzlW", true},
		{"$7$CU..../....ab$ovvd.j6nWZ.qIYtgrfLuWo/XLWZtBRMK.ipw8gpCq4A", true},
		{"$y$j9T$F5Jx5fExrKuPp53xLKQ..1$U4SOHmDd8SvW5vCUKSMR6N835VPwFAtgYNhQ9mFFeL5", true},
		{"$3$$8cc19b6a8cfeac299c2871c86b38de28", false},
		{"$1$$F0Fc2lbYpzr3KKdKkM0Wj.", false},
		{"$md5$$xkRuLyPTcJszIXBC6nfo.0", false},
		{"$md5,rounds=5000$$lPVFDheLCSiDV7wlNeCej.", false},
		{"$5$rounds=5000$$EPxZX4DoQWu4KoghxUArtr9dmHmQzOXFqq.aJMdG0bA", false},
		{"$y$j9T$$35/RtcSpQnsp9pKBilplwTCR/Z6e.uNV.3aZKZzHYd6", false},
	};
	for (const Case &c : cases)
		EXPECT_EQ(has_salt(c.hash), c.salted) << c.hash;
}

// The message choose_salt ends the run with, as this program names itself.
std::string refusal(const std::string &message)
{
	return std::string(program_invocation_short_name) + ": " + message + "\n";
}

// Each salt argument is used as given, completed with a fresh salt, or
// refused with the message that names its first fault: the method and
// the bytes, then the parameters, then the salt.
TEST(ChooseSalt, NamesTheFirstFault)
{
	const std::string usage = "'; usage: saltcrypt [salt]";
	// A completed setting just fits its 256 bytes: 233 of the argument,
	// the 22 of a fresh yescrypt salt, and the NUL.  So long a setting is
	// then hashed before the prompt, and these parameters fail there.
	const std::string fits = "$y$" + std::string(229, 'j') + "$";
	const std::string over = "$y$" + std::string(230, 'j') + "$";
	struct Case {
		std::string arg;
		std::string refused; // the message, or "" when arg is used
		bool completed;      // arg is, or would be, completed
	};
	const Case cases[] = {
		{"ab", "", false},
		{"$6$sa-lt$", "", false},
		{"$md5", "", true},
		{"$md5$", "", true},
		{"$sha1", "", true},
		{"$sha1$4$", "", true},
		{"$2a$05$", "", true},
		{fits, "invalid salt '" + fits.substr(0, 40) + "...': libcrypt could not verify a hash made with it", true},
		{over, "invalid salt '" + over.substr(0, 40) + "..." + usage, true},
		{"$3$", "the hashing method of '$3$' takes no salt", false},
		{"$3$abc$", "the hashing method of '$3$abc$' takes no salt", false},
		{"$md515", "invalid salt '$md515" + usage, false},
		{"$md5abc$", "invalid salt '$md5abc$" + usage, false},
		{"$sha1xyz", "invalid salt '$sha1xyz" + usage, false},
		{"$sha1$$", "invalid salt '$sha1$$" + usage, false},
		{"$sha1$abc$", "invalid salt '$sha1$abc$" + usage, false},
		{"$y$$", "invalid salt '$y$$" + usage, false},
		{"$2b$$", "invalid salt '$2b$$" + usage, false},
		{"$md5,rounds=$", "invalid salt '$md5,rounds=$" + usage, false},
		{"$6$rounds=abc$", "invalid salt '$6$rounds=abc$" + usage, false},
		{"$6$rounds=01000$", "invalid salt '$6$rounds=01000$" + usage, false},
		{"$foo$", "invalid salt '$foo$" + usage, false},
		{"$Y$", "invalid salt '$Y$" + usage, false},
		{"$2c$", "invalid salt '$2c$" + usage, false},
		{"$$", "invalid salt '$$" + usage, false},
		{"$y", "invalid salt '$y" + usage, false},
		{"$y$\t", "invalid salt '$y$?" + usage, false},
		{"_\x01", "invalid salt '_?" + usage, false},
		{"$", "invalid salt '$" + usage, false},
		{"$$$", "invalid salt '$$$" + usage, false},
		{"$y$j9T$$", "empty salt in '$y$j9T$$'", false},
		{"$md5,rounds=5000", "empty salt in '$md5,rounds=5000'", false},
		{"$7$CU", "empty salt in '$7$CU'", false},
		{"_J9-", "invalid salt '_J9-" + usage, false},
		// Only printable ASCII is shown: a blank is, DEL is not.
		{"a b\x7f", "invalid salt 'a b?" + usage, false},
	};
	for (const Case &c : cases) {
		char setting[max_setting];
		if (c.completed && !HAVE_CRYPT_GENSALT_RN) {
			EXPECT_EXIT(choose_salt(c.arg.c_str(), setting), testing::ExitedWithCode(1),
				    testing::Eq(refusal("this libcrypt cannot make a salt for '" +
							c.arg.substr(0, 40) + (c.arg.size() > 40 ? "...'" : "'") + "; give one")));
		} else if (!c.refused.empty()) {
			EXPECT_EXIT(choose_salt(c.arg.c_str(), setting), testing::ExitedWithCode(1),
				    testing::Eq(refusal(c.refused)));
		} else {
			const char *use = choose_salt(c.arg.c_str(), setting);
			EXPECT_EQ(use == setting, c.completed) << c.arg;
			EXPECT_TRUE(has_salt(use)) << c.arg << " gave " << use;
		}
	}
}

} // namespace

namespace {

// libcrypt's verdict on a setting: whether it hashes with it.  A refusal
// comes at once; a setting still hashing after a moment is taken, and its
// costly hash is not waited for.
bool libcrypt_takes(const std::string &setting)
{
	pid_t pid = fork();
	if (pid == 0) {
		const char *h = crypt("pw", setting.c_str());
		_exit(h != nullptr && h[0] != '*' ? 0 : 1);
	}
	for (int i = 0; i < 500; i++) {
		int st = 0;
		if (waitpid(pid, &st, WNOHANG) == pid)
			return WIFEXITED(st) && WEXITSTATUS(st) == 0;
		usleep(1000);
	}
	kill(pid, SIGKILL);
	waitpid(pid, nullptr, 0);
	return true;
}

// saltcrypt's verdict before the prompt: whether it reads the setting
// through to a salt.
bool saltcrypt_takes(const std::string &setting)
{
	return salt_start(setting.c_str()) != nullptr;
}

std::string padded(unsigned long long v, unsigned digits)
{
	std::string d = std::to_string(v);
	return std::string(digits > d.size() ? digits - d.size() : 0, '0') + d;
}

// Each bound of the layout table, probed in libcrypt itself at both sides:
// the table cannot drift from the library it was built with.
TEST(Setting, BoundsAreLibcrypts)
{
	if (!HAVE_CRYPT_CHECKSALT)
		GTEST_SKIP() << "a libcrypt without crypt_checksalt is not libxcrypt, whose bounds these are";
	struct Bound {
		const char *prefix;
		std::string before, after; // around the parameter
		std::string salted;        // a setting whose salt is of the shortest length taken
	};
	const Bound bounds[] = {
		{"$5$", "$5$rounds=", "$abc", ""},
		{"$6$", "$6$rounds=", "$abc", ""},
		{"$2b$", "$2b$", "$abcdefghijklmnopqrstuv", "$2b$04$abcdefghijklmnopqrstuv"},
		{"$2y$", "$2y$", "$abcdefghijklmnopqrstuv", "$2y$31$abcdefghijklmnopqrstuv"},
		{"$sha1", "$sha1$", "$abc$", ""},
		{"$md5", "$md5,rounds=", "$abc$", ""},
		{"_", "", "", "_J9..abcd"},
	};
	for (const Bound &b : bounds) {
		limits l{};
		ASSERT_TRUE(method_limits(b.prefix, l)) << b.prefix;
		std::vector<std::string> probes;
		auto at = [&](unsigned long long v, unsigned digits) { probes.push_back(b.before + padded(v, digits) + b.after); };
		if (l.lo > 1)
			at(l.lo - 1, l.digits);
		if (l.lo > 0)
			at(l.lo, l.digits);
		if (l.hi > 0) {
			at(l.hi, l.digits);
			at(l.hi + 1, l.digits);
		}
		if (l.digits > 0) {
			at(l.lo, l.digits - 1);
			at(l.lo, l.digits + 1);
		}
		if (l.min_salt > 0) {
			const char *salt = salt_start(b.salted.c_str());
			ASSERT_NE(salt, nullptr) << b.salted;
			ASSERT_EQ(strlen(salt), l.min_salt) << b.salted;
			probes.push_back(b.salted);
			probes.push_back(b.salted.substr(0, b.salted.size() - 1));
		}
		for (const std::string &p : probes)
			EXPECT_EQ(saltcrypt_takes(p), libcrypt_takes(p)) << p;
	}
}

// The encodings read before the prompt, against libcrypt: yescrypt's salt
// of every length and last character, and scrypt's parameters.
TEST(Setting, EncodingsAreLibcrypts)
{
	if (!HAVE_CRYPT_CHECKSALT)
		GTEST_SKIP() << "a libcrypt without crypt_checksalt is not libxcrypt, whose encodings these are";
	const std::string b64 = "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
	std::vector<std::string> probes;
	for (size_t n = 1; n <= 90; n++)
		for (char last : {'.', '1', '2', 'C', 'D', 'z'})
			probes.push_back("$y$j75$" + std::string(n - 1, 'a') + last);
	for (const char *scrypt : {"$7$.U..../....ab", "$7$/U..../....ab", "$7$0U..../....ab", "$7$zU..../....ab",
				   "$7$C...../....ab", "$7$CU.........ab", "$7$Cz..../zzzz/ab", "$7$5./.......0ab"})
		probes.emplace_back(scrypt);
	for (const std::string &p : probes)
		EXPECT_EQ(saltcrypt_takes(p), libcrypt_takes(p)) << p;
}

// The bytes of the password that each method reads, against libcrypt: the
// hash of a longest password is that of its first bytes_used bytes, and
// of no fewer; a method that reads them all tells the last byte.
TEST(Setting, CutsAreLibcrypts)
{
	std::string pw;
	for (size_t i = 0; i < 511; i++)
		pw += static_cast<char>('!' + i % 90);
	for (const char *setting : {"ab", "abJnggxhB/yWIab", "_J9..abcd", "$1$abc$", "$2b$04$abcdefghijklmnopqrstuv",
				    "$2a$04$abcdefghijklmnopqrstuv", "$5$rounds=1000$abc", "$6$rounds=1000$abc",
				    "$sha1$4$abc$", "$md5$abc$", "$y$j75$abc.", "$7$4/..../....abc"}) {
		const char *full = crypt(pw.c_str(), setting);
		if (full == nullptr || full[0] == '*')
			continue; // a method this libcrypt lacks
		std::string h = full;
		size_t used = bytes_used(setting);
		size_t n = used == 0 ? pw.size() : used;
		EXPECT_EQ(crypt(pw.substr(0, n).c_str(), setting), h) << setting;
		EXPECT_NE(crypt(pw.substr(0, n - 1).c_str(), setting), h) << setting;
	}
}

// A long scrypt salt: taken exactly while the hash it gives hashes back to
// itself.
TEST(ChooseSalt, TakesALongSettingWhileItsHashVerifies)
{
	for (size_t n = 270; n <= 330; n += 1) {
		std::string setting = "$7$4/..../...." + std::string(n, 'a');
		const char *h = crypt("pw", setting.c_str());
		std::string made = h != nullptr && h[0] != '*' ? h : "";
		const char *again = made.empty() ? nullptr : crypt("pw", made.c_str());
		bool verifies = again != nullptr && made == again;
		pid_t pid = fork();
		if (pid == 0) {
			dup2(open("/dev/null", O_WRONLY), 2);
			char out[max_setting];
			choose_salt(setting.c_str(), out);
			_exit(0);
		}
		int st = 0;
		waitpid(pid, &st, 0);
		EXPECT_EQ(WIFEXITED(st) && WEXITSTATUS(st) == 0, verifies) << n << " salt characters";
	}
}

} // namespace
