// SPDX-License-Identifier: MIT
// The salt argument: how each setting is read, and what saltcrypt makes
// of it, in one table; and the bounds of the layout table, checked
// against libcrypt itself.
#include "config.h"
#include "platform.h"
#include "messages.h"
#include "salt_arg.h"

#include <fcntl.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int none = -1;
const std::string fresh = "(completed with a fresh salt)";

// A word that libcrypt would read as a traditional salt of its first two
// characters.
std::string two_characters(const std::string &arg, const std::string &then)
{
	return "invalid salt " + quoted(arg) + ": a traditional salt is two characters; " + then;
}
const std::string see_help = "saltcrypt --help lists the methods by name and prefix";

// A completed setting just fits its 256 bytes: 233 of the argument, the
// 22 of a fresh yescrypt salt, and the NUL.  So long a setting is then
// hashed before the prompt, and these parameters fail there.
const std::string fits = "$y$" + std::string(229, 'j') + "$";
const std::string over = "$y$" + std::string(230, 'j') + "$";
const std::string decodes = "takes a salt of at most 86 characters that decodes into whole bytes";

// Each setting with the method it names (null for none), where its salt
// begins (none: malformed, cut short, a bare prefix or a method without
// salts), whether it is a bare prefix, and what saltcrypt makes of it:
// the setting itself ("") or completed (fresh), or the message it ends
// with.  The method and the bytes are checked first, then the
// parameters, then the salt: a message names the first fault.
struct Layout {
	std::string arg;
	const char *method;
	int salt;
	bool prefix;
	std::string verdict;
};

const Layout layouts[] = {
	// Traditional DES and bigcrypt: the salt comes first.
	{"ab", "", 0, false, ""},
	{"a", "", 0, false, invalid("a")},
	{"a:", nullptr, none, false, invalid("a:")},
	{"abJnggxhB/yWI", "", 0, false, ""},
	{"ab-", nullptr, none, false, invalid("ab-")},
	{"a b\x7f", nullptr, none, false, invalid("a b?")},
	{"a\x1f", nullptr, none, false, invalid("a?")},
	// Words that libcrypt would read as their first two characters; 13
	// characters are a whole hash, more are bigcrypt's.
	{"nt", "", 0, false, ""},
	{"abc", "", 0, false, two_characters("abc", see_help)},
	{"abcdefghijkl", "", 0, false, two_characters("abcdefghijkl", see_help)},
	{"sha512", "", 0, false, two_characters("sha512", "for sha512crypt, give sha512crypt or '$6$'")},
	{"sha-512", nullptr, none, false, two_characters("sha-512", "for sha512crypt, give sha512crypt or '$6$'")},
	{"sha256", "", 0, false, two_characters("sha256", "for sha256crypt, give sha256crypt or '$5$'")},
	{"SHA-256", nullptr, none, false, two_characters("SHA-256", "for sha256crypt, give sha256crypt or '$5$'")},
	{"md5", "", 0, false, two_characters("md5", "for md5crypt, give md5crypt or '$1$'")},
	{"des", "", 0, false, two_characters("des", "for descrypt, give descrypt")},
	{"blowfish", "", 0, false, two_characters("blowfish", "for bcrypt, give bcrypt or '$2b$'")},
	// BSDI: "_", a count glued to the salt.
	{"_", "_", none, true, fresh},
	{"_J9.", "_", none, false, empty_salt("_J9.")},
	{"_J9..", "_", 5, false, fresh},
	{"_J9..abcd", "_", 5, false, ""},
	{"_J9..abcdTZ/33djMPto", "_", 5, false, ""},
	{"_J9-", nullptr, none, false, invalid("_J9-")},
	{"_\x01", nullptr, none, false, invalid("_?")},
	// MD5-crypt has no parameters: "rounds=5" is a salt.
	{"$1$", "$1$", none, true, fresh},
	{"$1$abc$", "$1$", 3, false, ""},
	{"$1$rounds=5$", "$1$", 3, false, ""},
	{"$1$abc$Kb85XxsXB.VXinPhbS4431", "$1$", 3, false, ""},
	{"$1$$F0Fc2lbYpzr3KKdKkM0Wj.", "$1$", 3, false, empty_salt("$1$$F0Fc2lbYpzr3KKdKkM0Wj.")},
	{"$1$a:b$", nullptr, none, false, invalid("$1$a:b$")},
	{"$1$abc$x-y", nullptr, none, false, invalid("$1$abc$x-y")},
	// SHA-crypt: an optional rounds=; the salt may hold any byte a
	// setting may.
	{"$5$rounds=5000$abc", "$5$", 15, false, ""},
	{"$5$sa,l=t$", "$5$", 3, false, ""},
	{"$5$rounds=5000$$EPxZX4DoQWu4KoghxUArtr9dmHmQzOXFqq.aJMdG0bA", "$5$", 15, false,
	 empty_salt("$5$rounds=5000$$EPxZX4DoQWu4KoghxUArtr9dmHmQzOXFqq.aJMdG0bA")},
	{"$6$abc", "$6$", 3, false, ""},
	{"$6$sa-lt$", "$6$", 3, false, ""},
	{"$6$a~b$", "$6$", 3, false, ""},
	{"$6$$", "$6$", 3, false, empty_salt("$6$$")},
	{"$6$rounds=5000", "$6$", none, false, empty_salt("$6$rounds=5000")},
	{"$6$rounds=01000$abc", nullptr, none, false, invalid("$6$rounds=01000$abc")},
	{"$6$rounds=$abc", nullptr, none, false, invalid("$6$rounds=$abc")},
	{"$6$rounds=5000x$abc", nullptr, none, false, invalid("$6$rounds=5000x$abc")},
	{"$6$a b$", nullptr, none, false, invalid("$6$a b$")},
	{"$6$my salt$", nullptr, none, false, invalid("$6$my salt$")},
	{"$6", nullptr, none, false, invalid("$6")},
	// yescrypt and gost-yescrypt: one field of encoded parameters.
	{"$y$", "$y$", none, true, fresh},
	{"$y$j9T", "$y$", none, false, empty_salt("$y$j9T")},
	{"$y$j9T$", "$y$", 7, false, fresh},
	{"$y$j9T$$", "$y$", 7, false, empty_salt("$y$j9T$$")},
	{"$y$j9T$F5Jx5fExrKuPp53xLKQ..1$U4SOHmDd8SvW5vCUKSMR6N835VPwFAtgYNhQ9mFFeL5", "$y$", 7, false, ""},
	{"$y$j9T$F5Jx5fExrKuPp53xLKQ..1$U4SOHmDd8SvW5vCUKSMR6N835VPwFAtgYNhQ9mFFeL5$abc", nullptr, none, false,
	 invalid("$y$j9T$F5Jx5fExrKuPp53xLKQ..1$U4SOHmDd8SvW5vCUKSMR6N835VPwFAtgYNhQ9mFFeL5$abc")},
	{"$y$j9T$$35/RtcSpQnsp9pKBilplwTCR/Z6e.uNV.3aZKZzHYd6", "$y$", 7, false,
	 empty_salt("$y$j9T$$35/RtcSpQnsp9pKBilplwTCR/Z6e.uNV.3aZKZzHYd6")},
	{"$y$$", nullptr, none, false, invalid("$y$$")},
	{"$y$j-T$abc", nullptr, none, false, invalid("$y$j-T$abc")},
	{"$y$\t", nullptr, none, false, invalid("$y$?")},
	{"$Y$", nullptr, none, false, invalid("$Y$")},
	{fits, "$y$", 233, false, invalid(fits, "libcrypt could not verify a hash made with it")},
	{over, "$y$", 234, false, invalid(over)},
	{"$gy$j9T$abc.", "$gy$", 8, false, ""},
	{"$gy$j9T$abc", "$gy$", none, false, invalid("$gy$j9T$abc", "gost-yescrypt " + decodes)},
	// scrypt: parameters glued to the salt.
	{"$7$CU", "$7$", none, false, empty_salt("$7$CU")},
	{"$7$CU..../....abc", "$7$", 14, false, ""},
	{"$7$CU..../....ab$ovvd.j6nWZ.qIYtgrfLuWo/XLWZtBRMK.ipw8gpCq4A", "$7$", 14, false, ""},
	// bcrypt: a cost of two digits, and a salt glued to the hash.
	{"$2b$04$abcdefghijklmnopqrstuv", "$2b$", 7, false, ""},
	{"$2b$04$abcdefghijklmnopqrstuuyvPXIbu7xe6/CED2DzX8z6Si09MlzlW", "$2b$", 7, false, ""},
	{"$2b$04$abcdefghijklmnopqrstuuyvPXIbu7xe6/CED2DzX8z6Si09Mlzl-", nullptr, none, false,
	 invalid("$2b$04$abcdefghijklmnopqrstuuyvPXIbu7xe6/CED2DzX8z6Si09Mlzl-")},
	{"$2a$05$", "$2a$", 7, false, fresh},
	{"$2y$", "$2y$", none, true, fresh},
	{"$2b$$", nullptr, none, false, invalid("$2b$$")},
	{"$2c$", nullptr, none, false, invalid("$2c$")},
	// SunMD5: an optional ",rounds=" in the method's field.
	{"$md5", "$md5", none, true, fresh},
	{"$md5$", "$md5", none, true, fresh},
	{"$md5$abc$", "$md5", 5, false, ""},
	{"$md5$ab$$hxNuLWpwnVsRHMW58a./91", "$md5", 5, false, ""},
	{"$md5$$xkRuLyPTcJszIXBC6nfo.0", "$md5", 5, false, empty_salt("$md5$$xkRuLyPTcJszIXBC6nfo.0")},
	{"$md5,rounds=5000$abc$", "$md5", 17, false, ""},
	{"$md5,rounds=5000$$lPVFDheLCSiDV7wlNeCej.", "$md5", 17, false,
	 empty_salt("$md5,rounds=5000$$lPVFDheLCSiDV7wlNeCej.")},
	{"$md5,rounds=5000", "$md5", none, false, empty_salt("$md5,rounds=5000")},
	{"$md5,rounds=$", nullptr, none, false, invalid("$md5,rounds=$")},
	{"$md5,x=1$abc$", nullptr, none, false, invalid("$md5,x=1$abc$")},
	{"$md5,ROUNDS=5$abc$", nullptr, none, false, invalid("$md5,ROUNDS=5$abc$")},
	{"$md515", nullptr, none, false, invalid("$md515")},
	// sha1crypt: a count in a field of its own.
	{"$sha1", "$sha1", none, true, fresh},
	{"$sha1$", "$sha1", none, true, fresh},
	{"$sha1$4$", "$sha1", 8, false, fresh},
	{"$sha1$4$abc$", "$sha1", 8, false, ""},
	{"$sha1$4$abc$Ipy0kRebL/y4smWycGPzxgxw9g9L", "$sha1", 8, false, ""},
	{"$sha1$0$abc$", nullptr, none, false, invalid("$sha1$0$abc$")},
	{"$sha1$$", nullptr, none, false, invalid("$sha1$$")},
	{"$sha1$abc$", nullptr, none, false, invalid("$sha1$abc$")},
	// NT takes no salt.
	{"$3$", "$3$", none, false, "the hashing method of '$3$' takes no salt"},
	{"$3$abc$", "$3$", none, false, "the hashing method of '$3$abc$' takes no salt"},
	{"$3$$8cc19b6a8cfeac299c2871c86b38de28", "$3$", none, false,
	 "the hashing method of '$3$$8cc19b6a8cfeac299c2871c86b38de28' takes no salt"},
	// No method at all.  What the shell leaves of a setting in double
	// quotes: each '$' that a name or digit followed went with it.
	{"", nullptr, none, false, expanded("")},
	{"$", nullptr, none, false, expanded("$")},
	{"$$", nullptr, none, false, expanded("$$")},
	{"=5000$", nullptr, none, false, expanded("=5000$")},
	{"$foo$", nullptr, none, false, invalid("$foo$")},
	{"$_$", nullptr, none, false, invalid("$_$")},
	// A locked field from shadow(5).
	{"!$6$saltsalt$qFmFH.bQmmtXzyBY0s9v7Oicd2z4XSIecDzlB5KiA2/jctKu9YterLp8wwnSq.qc.eoxqOmSuNp2xS0ktL3nh/", nullptr, none,
	 false, invalid("!$6$saltsalt$qFmFH.bQmmtXzyBY0s9v7Oicd2z4XSIecDzlB5KiA2/jctKu9YterLp8wwnSq.qc.eoxqOmSuNp2xS0ktL3nh/",
			"a locked password field; the hash follows the '!'")},
	{"!!", nullptr, none, false, invalid("!!", "a locked password field, which holds no hash")},
	{"*", nullptr, none, false, invalid("*", "a locked password field, which holds no hash")},
	{"!*0", nullptr, none, false, invalid("!*0", "a locked password field, which holds no hash")},
};

class Layouts : public testing::TestWithParam<Layout> {};

void PrintTo(const Layout &l, std::ostream *os)
{
	*os << '\'' << l.arg.substr(0, 40) << (l.arg.size() > 40 ? "...' of " + std::to_string(l.arg.size()) : "'");
}

// The message choose_salt ends the run with, as this program names itself.
std::string refusal(const std::string &message)
{
	return std::string(program_invocation_short_name) + ": " + message + "\n";
}

TEST_P(Layouts, ReadAndChosen)
{
	const Layout &l = GetParam();
	const char *s = l.arg.c_str();
	const char *salt = salt_start(s);
	EXPECT_EQ(salt == nullptr ? none : salt - s, l.salt);
	EXPECT_EQ(is_method_prefix(s), l.prefix);
	// A setting used as given has a salt; one completed, or refused for
	// its empty salt, has none.
	if (l.verdict.empty()) {
		EXPECT_TRUE(has_salt(s));
	}
	if (l.verdict == fresh || l.verdict.rfind("empty salt", 0) == 0) {
		EXPECT_FALSE(has_salt(s));
	}
	char setting[max_setting];
	bool completes = l.prefix || (l.salt != none && l.arg[l.salt] == '\0');
	if (completes && !HAVE_CRYPT_GENSALT_RN) {
		EXPECT_EXIT(choose_salt(s, setting), testing::ExitedWithCode(1),
			    testing::Eq(refusal("this libcrypt cannot make a salt for " + quoted(l.arg) + "; give one")));
	} else if (l.verdict.empty() || l.verdict == fresh) {
		const char *use = choose_salt(s, setting);
		EXPECT_EQ(use == s, l.verdict.empty());
		EXPECT_TRUE(has_salt(use)) << use;
		EXPECT_EQ(std::string(use).rfind(l.method, 0), 0u) << use;
	} else {
		EXPECT_EXIT(choose_salt(s, setting), testing::ExitedWithCode(1), testing::Eq(refusal(l.verdict)));
	}
}

INSTANTIATE_TEST_SUITE_P(Setting, Layouts, testing::ValuesIn(layouts));

// libcrypt's verdict on a setting: whether it hashes with it.  A refusal
// comes before any work; a setting that libcrypt is still hashing after
// a fifth of a second of CPU time is taken, and its costly hash is cut
// short there.  CPU time, not the clock: on a loaded machine a child may
// wait long before it runs at all.
bool libcrypt_takes(const std::string &setting)
{
	pid_t pid = fork();
	if (pid == 0) {
		const itimerval once{{0, 0}, {0, 200000}};
		signal(SIGPROF, SIG_DFL);
		setitimer(ITIMER_PROF, &once, nullptr);
		const char *h = crypt("pw", setting.c_str());
		_exit(h != nullptr && h[0] != '*' ? 0 : 1);
	}
	int st = 0;
	waitpid(pid, &st, 0);
	return WIFSIGNALED(st) ? WTERMSIG(st) == SIGPROF : WEXITSTATUS(st) == 0;
}

// saltcrypt's verdict before the prompt: whether it chooses the setting.
bool chooses(const std::string &setting)
{
	pid_t pid = fork();
	if (pid == 0) {
		dup2(open("/dev/null", O_WRONLY), 2);
		char out[max_setting];
		choose_salt(setting.c_str(), out);
		_exit(0);
	}
	int st = 0;
	waitpid(pid, &st, 0);
	return WIFEXITED(st) && WEXITSTATUS(st) == 0;
}

// Each bound of the layout table, and each encoding it reads, probed in
// libcrypt itself on both sides: the table cannot drift from the library
// it was built with.  A count of 0, which libcrypt would take, is never
// taken.  A sha1crypt count past the last one libcrypt reads it hashes
// for ever, without a word: it makes none itself, asked for the most.
TEST(Setting, BoundsAreLibcrypts)
{
	if (!HAVE_CRYPT_CHECKSALT)
		GTEST_SKIP() << "a libcrypt without crypt_checksalt is not libxcrypt, whose bounds these are";
	struct Bound {
		const char *prefix;
		std::string before, after; // around the parameter
		std::string salted;        // a setting whose salt is of the shortest length taken
		bool refused_past = true;  // libcrypt refuses a parameter past hi
	};
	const Bound bounds[] = {
		{"$5$", "$5$rounds=", "$abc", ""},
		{"$6$", "$6$rounds=", "$abc", ""},
		{"$2b$", "$2b$", "$abcdefghijklmnopqrstuv", "$2b$04$abcdefghijklmnopqrstuv"},
		{"$2y$", "$2y$", "$abcdefghijklmnopqrstuv", "$2y$31$abcdefghijklmnopqrstuv"},
		{"$sha1", "$sha1$", "$abc$", "", false},
		{"$md5", "$md5,rounds=", "$abc$", ""},
		{"_", "", "", "_J9..abcd"},
	};
	std::vector<std::string> probes;
	for (const Bound &b : bounds) {
		limits l{};
		ASSERT_TRUE(method_limits(b.prefix, l)) << b.prefix;
		auto at = [&](unsigned long long v, unsigned digits) {
			std::string d = std::to_string(v);
			probes.push_back(b.before + std::string(digits > d.size() ? digits - d.size() : 0, '0') + d + b.after);
		};
		if (l.lo > 0) {
			at(l.lo, l.digits);
			if (l.lo > 1)
				at(l.lo - 1, l.digits);
		}
		if (l.hi > 0) {
			at(l.hi, l.digits);
			at(l.hi + 1, l.digits);
		}
		if (!b.refused_past) {
			EXPECT_FALSE(chooses(probes.back())) << probes.back();
			probes.pop_back();
#if HAVE_CRYPT_GENSALT_RN
			char made[CRYPT_GENSALT_OUTPUT_SIZE];
			ASSERT_NE(crypt_gensalt_rn(b.prefix, ULONG_MAX, nullptr, 0, made, sizeof made), nullptr);
			EXPECT_LE(strtoull(made + b.before.size(), nullptr, 10), l.hi) << made;
#endif
		}
		if (l.digits > 0) {
			at(l.lo, l.digits - 1);
			at(l.lo, l.digits + 1);
		}
		if (l.min_salt > 0) {
			ASSERT_EQ(strlen(salt_start(b.salted.c_str())), l.min_salt) << b.salted;
			probes.push_back(b.salted);
			probes.push_back(b.salted.substr(0, b.salted.size() - 1));
		}
	}
	for (size_t n = 1; n <= 90; n++)
		for (char last : {'.', '1', '2', 'C', 'D', 'E', 'z'})
			probes.push_back("$y$j75$" + std::string(n - 1, 'a') + last);
	for (const char *scrypt : {"$7$.U..../....ab", "$7$/U..../....ab", "$7$0U..../....ab", "$7$zU..../....ab",
				   "$7$C...../....ab", "$7$CU.........ab", "$7$Cz..../zzzz/ab", "$7$5./.......0ab",
				   // r p = 2^30: r of 2^28, p of 4; and r's fifth character,
				   // 2^24 + 1, with p of 64
				   "$7$2....E2....ab", "$7$4/.../../...ab"})
		probes.emplace_back(scrypt);
	for (const std::string &p : probes)
		EXPECT_EQ(chooses(p), libcrypt_takes(p)) << p;
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
		if (full == nullptr || full[0] == '*') {
			EXPECT_FALSE(chooses(setting)) << setting << ": this libcrypt lacks the method, so it is refused";
			continue;
		}
		std::string h = full;
		size_t used = bytes_used(setting);
		size_t n = used == 0 ? pw.size() : used;
		EXPECT_EQ(crypt(pw.substr(0, n).c_str(), setting), h) << setting;
		EXPECT_NE(crypt(pw.substr(0, n - 1).c_str(), setting), h) << setting;
	}
}

// A long scrypt salt is taken exactly while the hash it gives hashes back
// to itself.
TEST(Setting, TakesALongSettingWhileItsHashVerifies)
{
	for (size_t n = 270; n <= 330; n++) {
		std::string setting = "$7$4/..../...." + std::string(n, 'a');
		const char *h = crypt("pw", setting.c_str());
		std::string made = h != nullptr && h[0] != '*' ? h : "";
		const char *again = made.empty() ? nullptr : crypt("pw", made.c_str());
		EXPECT_EQ(chooses(setting), again != nullptr && made == again) << n << " salt characters";
	}
}

} // namespace
