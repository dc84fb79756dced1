// SPDX-License-Identifier: MIT
// The salt argument, end to end: the salt generated without one, bare
// prefixes completed, and every refusal made before the prompt.
#include "harness.h"

#include <regex>

namespace {

TEST(Saltcrypt, KnownAnswer)
{
	Result r = run_piped({"ab"}, "password\n");
	EXPECT_EQ(r.out, prompt + "abJnggxhB/yWI\n");
	EXPECT_EQ(r.status, 0);
}

// The clock that the command reads: a file holding the seconds, through
// the time stand-in.
std::string clock_file;

void set_clock(const char *seconds)
{
	int fd = must(open(clock_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), "open the clock");
	ASSERT_EQ(write(fd, seconds, strlen(seconds)), static_cast<ssize_t>(strlen(seconds)));
	close(fd);
}

void on_the_clock()
{
	stand_in("SALTCRYPT_TIME", clock_file);
}

// Two salt characters that glibc's rand gives for a clock, worked out by
// a separate program from the generator's mapping table.
#ifdef __GLIBC__
const char *const salt_at_1000 = "6a";
const char *const salt_at_2000 = "Q8";
#endif

class SaltcryptClock : public testing::Test {
protected:
	void SetUp() override
	{
		if (std::string why = preload_unavailable(); !why.empty())
			GTEST_SKIP() << why;
		close(temp_file(&clock_file));
		set_clock("1000");
	}
	void TearDown() override
	{
		if (!clock_file.empty())
			unlink(clock_file.c_str());
	}
};

// With no argument, or more than one, the salt comes from the clock.
TEST_F(SaltcryptClock, GeneratesSaltUnlessOneArgument)
{
	const std::vector<std::string> arg_lists[] = {{}, {"ab", "cd"}, {"ab", "cd", "ef"}};
	for (const auto &args : arg_lists) {
		std::string h = hash_in(run_piped(args, "secret\n", capture, on_the_clock));
		ASSERT_EQ(h.size(), 13u) << args.size() << " arguments";
		EXPECT_EQ(hash_of("secret", h), h);
#ifdef __GLIBC__
		EXPECT_EQ(h.substr(0, 2), salt_at_1000) << args.size() << " arguments";
#endif
	}
#ifndef __GLIBC__
	GTEST_SKIP() << "the salts for a clock are known for glibc's rand only";
#endif
}

// The clock that seeds the generator is read once the password is in: a
// run that waits at the prompt while the clock moves on gets the later
// second's salt.
TEST_F(SaltcryptClock, SaltComesFromTheSecondTheReadEnded)
{
	int p[2];
	make_pipe(p);
	Child c = start({}, p[0], capture, on_the_clock);
	close(p[0]);
	ASSERT_TRUE(wait_for_prompt(c));
	set_clock("2000");
	ASSERT_EQ(write(p[1], "secret\n", 7), 7);
	close(p[1]);
	std::string h = hash_in(finish(c));
	ASSERT_EQ(h.size(), 13u);
#ifdef __GLIBC__
	EXPECT_EQ(h.substr(0, 2), salt_at_2000);
#else
	GTEST_SKIP() << "the salts for a clock are known for glibc's rand only";
#endif
}

// A bare method prefix, or a setting whose salt alone is missing, gets a
// fresh random salt from libcrypt: a salted hash, laid out as crypt(5)
// has it, that verifies and differs from run to run.  Parameters given are
// kept.  Where libcrypt cannot make salts, these are refused.  One method
// of each layout of parameters and salt.
struct Unsalted {
	const char *name;
	std::string arg;
	std::string made; // a pattern of the whole hash
};

void PrintTo(const Unsalted &u, std::ostream *os)
{
	*os << u.name;
}

const std::string c = "[./0-9A-Za-z]";

const Unsalted unsalted[] = {
	{"Yescrypt", "$y$", R"(\$y\$j9T\$)" + c + R"(+\$)" + c + "{43}"},
	{"Scrypt", "$7$", R"(\$7\$CU\.\.\.\./\.\.\.\.)" + c + R"(+\$)" + c + "{43}"},
	{"Bcrypt", "$2b$", R"(\$2b\$05\$)" + c + "{53}"},
	{"Sha512", "$6$", R"(\$6\$)" + c + R"(+\$)" + c + "{86}"},
	{"SunMd5", "$md5", R"(\$md5,rounds=[0-9]+\$)" + c + R"(+\$\$)" + c + "{22}"},
	{"Bsdi", "_", "_J9\\.\\." + c + "{15}"},
	{"YescryptCostKept", "$y$j75$", R"(\$y\$j75\$)" + c + R"(+\$)" + c + "{43}"},
	{"BcryptCostKept", "$2b$04$", R"(\$2b\$04\$)" + c + "{53}"},
	{"Sha512RoundsKept", "$6$rounds=1000$", R"(\$6\$rounds=1000\$)" + c + R"(+\$)" + c + "{86}"},
	{"SunMd5RoundsKept", "$md5,rounds=5000$", R"(\$md5,rounds=5000\$)" + c + R"(+\$\$)" + c + "{22}"},
	{"BsdiCountKept", "_/...", "_/\\.\\.\\." + c + "{15}"},
};

class Completes : public testing::TestWithParam<Unsalted> {};

TEST_P(Completes, WithAFreshSaltOrRefuses)
{
	const Unsalted &u = GetParam();
	Result r = run_piped({u.arg}, "pw\n");
	if (!HAVE_CRYPT_GENSALT_RN) {
		expect_error(r, cannot_make(u.arg));
		EXPECT_EQ(r.left, "pw\n");
		return;
	}
	std::string first = hash_in(r);
	std::string second = hash_in(run_piped({u.arg}, "pw\n"));
	EXPECT_TRUE(std::regex_match(first, std::regex(u.made))) << u.arg << " made " << first;
	EXPECT_EQ(hash_of("pw", first), first);
	EXPECT_NE(first, second) << "the same salt twice";
}

INSTANTIATE_TEST_SUITE_P(Saltcrypt, Completes, testing::ValuesIn(unsalted),
			 [](const testing::TestParamInfo<Unsalted> &i) { return i.param.name; });

// The version and the usage are answered on standard output without a
// prompt or a read; a failed write of the answer is an error too.
TEST(Saltcrypt, AnswersOptionsWithoutReading)
{
	const std::string usage = "usage: saltcrypt [salt]\n"
				  "       saltcrypt --version\n"
				  "       saltcrypt -h | --help\n";
	struct Option {
		std::string arg;
		std::string out; // the whole answer, or how it starts
	};
	const Option options[] = {
		{"--version", "saltcrypt " SALTCRYPT_VERSION "\n"},
		{"--help", usage},
		{"-h", usage},
	};
	int full = open("/dev/full", O_WRONLY);
	if (full < 0)
		GTEST_SKIP() << "no /dev/full: " << strerror(errno);
	for (const Option &o : options) {
		Result r = run_piped({o.arg}, "password\n");
		EXPECT_EQ(r.status, 0) << o.arg;
		EXPECT_EQ(r.out.substr(0, o.arg[0] == '-' && o.arg != "--version" ? usage.size() : std::string::npos), o.out);
		EXPECT_EQ(r.err, "");
		EXPECT_EQ(r.left, "password\n") << o.arg;
		expect_error(run_piped({o.arg}, "", full), "cannot write to standard output: No space left on device");
	}
	close(full);
}

// --help lists the prefixes this libcrypt makes a salt for, as libcrypt
// in this process finds them, and marks the one a null prefix names.
TEST(Saltcrypt, HelpListsTheMethodsOfThisLibcrypt)
{
	std::string help = run_piped({"--help"}, "").out;
#if HAVE_CRYPT_GENSALT_RN
	std::string want;
	char made[CRYPT_GENSALT_OUTPUT_SIZE];
	for (std::string prefix : {"$y$", "$gy$", "$7$", "$2b$", "$2y$", "$2a$", "$2x$", "$6$", "$5$", "$sha1",
				   "$md5", "$1$", "_", ""}) {
		if (crypt_gensalt_rn(prefix.c_str(), 0, nullptr, 0, made, sizeof made) == nullptr)
			continue;
		want += (prefix.empty() ? "ab" : prefix) + " ";
	}
	ASSERT_NE(crypt_gensalt_rn(nullptr, 0, nullptr, 0, made, sizeof made), nullptr);
	std::string listed;
	std::string best;
	int marked = 0;
	std::istringstream lines(help.substr(help.find("by the prefix to give:\n")));
	std::string heading;
	std::getline(lines, heading);
	for (std::string line; std::getline(lines, line);) {
		std::string prefix = line.substr(2, line.find(' ', 2) - 2);
		listed += prefix + " ";
		if (line.find("(this libcrypt's preferred method)") != std::string::npos) {
			best = prefix;
			marked++;
		}
	}
	EXPECT_EQ(listed, want) << help;
	EXPECT_EQ(marked, 1) << help;
	EXPECT_EQ(std::string(made).rfind(best, 0), 0u) << best << " is not the default " << made;
#else
	EXPECT_NE(help.find("This libcrypt makes no salts: give a complete setting"), std::string::npos) << help;
#endif
}

// A bad salt is refused before the prompt, and no input is taken.  So is
// every option but those answered.
TEST(Saltcrypt, RefusesUnusableSaltBeforePrompt)
{
	const std::string usage = "'; usage: saltcrypt [salt]";
	const std::string unsalted = hash_of("pw", "$6$$");
	const std::string yescrypt = "$y$j9T$F5Jx5fExrKuPp53xLKQ..1$tnSYvahCwPBHKZUspmcxMfb0.WiB9W.zEaKlOBL35rC";
	// An scrypt salt so long that the hash would not hash back to itself.
	const std::string scrypt = "$7$4/..../...." + std::string(282, 'a');
	const std::string sha = "sha512crypt takes a rounds= value from 1000 to 999999999";
	const std::string cost = "bcrypt takes a cost of two digits from 04 to 31";
	auto invalid = [](const std::string &salt, const std::string &why) {
		return "invalid salt '" + salt + "': " + why;
	};
	struct Refusal {
		std::string salt;
		std::string message;
	};
	const Refusal refusals[] = {
		{"", "invalid salt '" + usage},
		{"a", "invalid salt 'a" + usage},
		{"a:", "invalid salt 'a:" + usage},
		{"--help=x", "unknown option '--help=x" + usage},
		{"-", "unknown option '-" + usage},
		{"-V", "unknown option '-V" + usage},
		{"--", "unknown option '--" + usage},
		{std::string(100, '!') + "\n", "invalid salt '" + std::string(40, '!') + "..." + usage},
		{"\x1b]2;x\a\xff", "invalid salt '?]2;x??" + usage},
		{"$6$$", "empty salt in '$6$$'"},
		{"$y$j9T$$", "empty salt in '$y$j9T$$'"},
		{"$y$j9T", "empty salt in '$y$j9T'"},
		{"$6$rounds=5000", "empty salt in '$6$rounds=5000'"},
		{unsalted, "empty salt in '" + unsalted.substr(0, 40) + "...'"},
		{"$3$", "the hashing method of '$3$' takes no salt"},
		{"$3$abc", "the hashing method of '$3$abc' takes no salt"},
#if HAVE_CRYPT_GENSALT_RN
		{"$2x$", "cannot make a salt for '$2x$': Invalid argument"},
#else
		{"$2x$", cannot_make("$2x$")},
#endif
		{"$6$rounds=999$", invalid("$6$rounds=999$", sha)},
		{"$6$rounds=1000000000$abc", invalid("$6$rounds=1000000000$abc", sha)},
		{"$2b$4$", invalid("$2b$4$", cost)},
		{"$2b$03$", invalid("$2b$03$", cost)},
		{"$2b$32$", invalid("$2b$32$", cost)},
		{"$2b$04$abc", invalid("$2b$04$abc", "bcrypt takes a salt of at least 22 characters")},
		{"$md5,rounds=4294967296$abc", invalid("$md5,rounds=4294967296$abc", "SunMD5 takes a rounds= value from 1 to 4294967295")},
		{"_J9..ab", invalid("_J9..ab", "bsdicrypt takes a salt of at least 4 characters")},
		{"$y$j9T$abc", invalid("$y$j9T$abc", "yescrypt takes a salt of at most 86 characters that decodes into whole bytes")},
		{"$7$zzzzzzzzzzz", invalid("$7$zzzzzzzzzzz", "scrypt cannot take the parameters 'zzzzzzzzzzz'")},
		{yescrypt + "$abc", "invalid salt '" + yescrypt.substr(0, 40) + "..." + usage},
		{yescrypt + std::string(300, 'a'), "invalid salt '" + yescrypt.substr(0, 40) +
						       "...': libcrypt could not verify a hash made with it"},
		{scrypt, "invalid salt '" + scrypt.substr(0, 40) + "...': libcrypt could not verify a hash made with it"},
	};
	for (const Refusal &f : refusals) {
		Result r = run_piped({f.salt}, "password\n");
		EXPECT_EQ(r.left, "password\n");
		expect_error(r, f.message);
		EXPECT_EQ(r.out, "");
	}
}

// What libcrypt refuses only when it hashes: the password has been read
// by then, and the message names the setting.  Without crypt_checksalt
// the check is a hash, and refuses them before the prompt.
TEST(Saltcrypt, RefusedOnlyWhenHashing)
{
	for (std::string salt : {"$y$jZT$F5Jx5fExrKuPp53xLKQ..1", "$gy$j.T$F5Jx5fExrKuPp53xLKQ..1"}) {
		Result r = run_piped({salt}, "pw\n");
		if (HAVE_CRYPT_CHECKSALT) {
			expect_error(r, cannot_hash(salt));
			EXPECT_EQ(r.out, prompt) << salt;
		} else {
			expect_error(r, "invalid salt '" + salt + "'; usage: saltcrypt [salt]");
		}
	}
}

// A method that the library disables gets a message of its own.  A
// build without crypt_checksalt never asks the library.
TEST(Saltcrypt, NamesADisabledMethod)
{
#ifndef DISABLED_CHECKSALT
	GTEST_SKIP() << "no crypt_checksalt in this libcrypt to stand in for";
#else
	if (std::string why = preload_unavailable(); !why.empty())
		GTEST_SKIP() << why;
	Result r = run_piped({"$1$abc$"}, "pw\n", capture, [] {
		add_asan_option("verify_asan_link_order=0");
		setenv("LD_PRELOAD", DISABLED_CHECKSALT, 1);
	});
	if (HAVE_CRYPT_CHECKSALT) {
		expect_error(r, "hashing method disabled in this libcrypt: '$1$abc$'");
		EXPECT_EQ(r.left, "pw\n");
	} else {
		EXPECT_EQ(r.out, prompt + hash_of("pw", "$1$abc$") + "\n");
	}
#endif
}

} // namespace
