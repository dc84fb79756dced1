// SPDX-License-Identifier: MIT
// What saltcrypt does with each input and argument, end to end: one table
// of cases, each run on the kinds of standard input it names.
#include "harness.h"
#include "messages.h"
#include "salt_arg.h"

#include <fcntl.h>
#ifdef OPENPTY_HEADER
#include OPENPTY_HEADER
#endif

#include <regex>

namespace {

constexpr int ok = 0, failed = 1;

// The kinds of standard input a case runs on.
constexpr unsigned pipe = 1, socket = 2, file = 4, terminal = 8, streams = pipe | socket | file;

// Standard output as the hash of the first line of input follows the
// prompt, or as the prompt alone for a failure; or, where it starts with
// '^', a pattern of a hash with a fresh salt, different on each run.
const std::string after_read = "\x01";

struct Case {
	const char *name;
	std::vector<std::string> args;
	std::string input;
	std::string said; // standard error without its "saltcrypt: ", or "" for none
	int status;
	std::string left; // what the next reader of the input still gets
	std::string out = after_read;
	unsigned on = streams;
	bool quiet = false; // -q: the hash line alone, with no prompt
};

// A salt or an option refused before the prompt: no input is taken.
Case refused_call(const char *name, const std::vector<std::string> &args, const std::string &said)
{
	return {name, args, "password\n", said, failed, "password\n", "", pipe};
}

Case refused(const char *name, const std::string &arg, const std::string &said)
{
	return refused_call(name, {arg}, said);
}

std::string unknown(const std::string &option)
{
	return "unknown option '" + option + "'; usage: saltcrypt [-q] [salt]";
}

const std::string longest(max_pass, 'p');
const std::string huge = std::string(100 * 1024, 'x') + "\nnext\n";
const std::string bcrypt = "$2b$04$abcdefghijklmnopqrstuv";
const std::string yescrypt = "$y$j9T$F5Jx5fExrKuPp53xLKQ..1$tnSYvahCwPBHKZUspmcxMfb0.WiB9W.zEaKlOBL35rC";
const std::string sha = "sha512crypt takes a rounds= value from 1000 to 999999999";
const std::string cost = "bcrypt takes a cost of two digits from 04 to 31";
const std::string never_verified = "libcrypt could not verify a hash made with it";
const std::string ignored = "warning: 2 arguments ignored, so the salt is a traditional DES salt from the clock; "
			    "give the salt as the only argument, as in saltcrypt '$y$'";

std::string cut(size_t used, size_t n)
{
	return "warning: this method uses only the first " + std::to_string(used) + " bytes of the " +
	       std::to_string(n) + "-byte password";
}

// A bare method prefix, or a setting whose salt alone is missing, gets a
// fresh random salt from libcrypt, and keeps the parameters given; where
// libcrypt cannot make salts, it is refused.
Case completed(const char *name, const std::string &arg, const std::string &pattern)
{
	if (!HAVE_CRYPT_GENSALT_RN)
		return refused(name, arg, "this libcrypt cannot make a salt for '" + arg + "'; give one");
	const std::string b64 = "[./0-9A-Za-z]";
	std::string made = std::regex_replace(pattern, std::regex("%"), b64);
	return {name, {arg}, "pw\n", "", ok, "", "^" + made, pipe};
}

// libcrypt refuses these only when it hashes; a build without
// crypt_checksalt finds them out before the prompt with a hash.
Case late(const char *name, const std::string &arg, unsigned on)
{
	if (!HAVE_CRYPT_CHECKSALT)
		return {name, {arg}, "password\n", invalid(arg), failed, "password\n", "", on};
	return {name, {arg}, "password\n", "libcrypt cannot hash with the setting '" + arg + "'", failed, ""};
}

const Case cases[] = {
	// The password: the first line, and nothing past it.
	{"KnownAnswer", {"ab"}, "password\n", "", ok, "", prompt + "abJnggxhB/yWI\n", streams | terminal},
	{"EndOfInputKeepsLastByte", {"ab"}, "secret", "", ok, ""},
	{"EmptyLineIsEmptyPassword", {"ab"}, "\n", "", ok, "", after_read, streams | terminal},
	{"OnlyTheFirstLine", {"ab"}, "first\nsecond\n", "", ok, "second\n", after_read, streams | terminal},
	{"BytesPassUnchanged", {"ab"}, " a b\r\x80\xff\t\n", "", ok, ""},
	{"NulAfterTheLine", {"ab"}, std::string("pw\nx\0y\n", 7), "", ok, std::string("x\0y\n", 4)},
	{"LongestAndNewline", {"$5$abc"}, longest + "\n", "", ok, "", after_read, streams | terminal},
	{"LongestAtEnd", {"$5$abc"}, longest, "", ok, ""},
	{"OverLongLine", {"ab"}, longest + "q\nnext\n", too_long, failed, "next\n", after_read, streams | terminal},
	{"OverLongAtEnd", {"ab"}, longest + "qq", too_long, failed, ""},
	// A pipe or socket is drained only to max_line bytes of the line, a
	// file to its end.
	{"FarOverLongLine", {"ab"}, huge, too_long, failed, huge.substr(max_line), after_read, pipe | socket},
	{"FarOverLongLineInAFile", {"ab"}, huge, too_long, failed, "next\n", after_read, file},
	{"NulInsideLine", {"ab"}, std::string("a\0b\nnext\n", 9), "password contains a NUL byte", failed, "next\n"},
	{"NulInsideOverLongLine", {"ab"}, std::string("a\0", 2) + longest + "\nnext\n", "password contains a NUL byte",
	 failed, "next\n", after_read, pipe},
	{"EmptyInput", {"ab"}, "", "no password: standard input is empty", failed, ""},
	// Settings of other methods, and a stored hash as the salt.
	{"Sha512Salt", {"$6$saltsalt$"}, "password\n", "", ok, "", after_read, pipe},
	{"YescryptSetting", {"$y$j9T$F5Jx5fExrKuPp53xLKQ..1$"}, "pw\n", "", ok, "", after_read, pipe},
	{"WholeHashAsSalt", {"abJnggxhB/yWI"}, "password\n", "", ok, "", after_read, pipe},
	// No salt argument: a salt from the clock, with a warning for more
	// than one argument.  Options stand anywhere before "--".
	{"NoArgument", {}, "pw\n", "", ok, "", after_read, pipe},
	{"ArgumentsIgnored", {"pw", "$6$"}, "pw\n", ignored, ok, "", after_read, pipe},
	{"Version", {"-V"}, "password\n", "", ok, "password\n", "saltcrypt " SALTCRYPT_VERSION "\n", pipe},
	{"Quiet", {"-q", "ab"}, "password\n", "", ok, "", "abJnggxhB/yWI\n", streams | terminal, true},
	{"QuietAfterTheSalt", {"ab", "--quiet"}, "password\n", "", ok, "", "abJnggxhB/yWI\n", pipe, true},
	{"QuietWithArgumentsIgnored", {"-q", "pw", "$6$"}, "pw\n", ignored, ok, "", after_read, pipe, true},
	{"QuietFailure", {"-q", "ab"}, "", "no password: standard input is empty", failed, "", "", pipe, true},
	{"SaltAfterDoubleDash", {"--", "$6$saltsalt$"}, "password\n", "", ok, "",
	 prompt + hash_of("password", "$6$saltsalt$") + "\n", pipe},
	// Where the hash is weaker than it looks.
	{"CutByDes", {"ab"}, "password123\n", cut(8, 11), ok, "", after_read, pipe},
	{"CutByBigcrypt", {"abJnggxhB/yWIab"}, std::string(130, 'b') + "\n", cut(128, 130), ok, "", after_read, pipe},
	{"CutByBcrypt", {bcrypt}, std::string(73, 'b') + "\n", cut(72, 73), ok, "", after_read, pipe},
	{"NotCutAtBcryptsLength", {bcrypt}, std::string(72, 'b') + "\n", "", ok, "", after_read, pipe},
	{"EndsInCarriageReturn", {"ab"}, "pw\r\n",
	 "warning: the password ends in a carriage return (CR), which is hashed with it", ok, "", after_read, pipe},
	{"CarriageReturnPastTheCut", {bcrypt}, std::string(72, 'b') + "\r\n", cut(72, 73), ok, "", after_read, pipe},
	// Ended by Ctrl-D at a terminal, the line is not ended on the screen;
	// output to a file keeps its bytes all the same.
	{"EndedByCtrlD", {"ab"}, "secret\x04\x04", "", ok, "", prompt + hash_of("secret", "ab") + "\n", terminal},
	// A fresh salt, laid out as crypt(5) has it.
	completed("Yescrypt", "$y$", R"(\$y\$j9T\$%+\$%{43})"),
	completed("Scrypt", "$7$", R"(\$7\$CU\.\.\.\./\.\.\.\.%+\$%{43})"),
	completed("Bcrypt", "$2b$", R"(\$2b\$05\$%{53})"),
	completed("Sha512", "$6$", R"(\$6\$%+\$%{86})"),
	completed("SunMd5", "$md5", R"(\$md5,rounds=[0-9]+\$%+\$\$%{22})"),
	completed("Bsdi", "_", R"(_J9\.\.%{15})"),
	completed("YescryptCostKept", "$y$j75$", R"(\$y\$j75\$%+\$%{43})"),
	completed("BcryptCostKept", "$2b$04$", R"(\$2b\$04\$%{53})"),
	completed("Sha512RoundsKept", "$6$rounds=1000$", R"(\$6\$rounds=1000\$%+\$%{86})"),
	completed("SunMd5RoundsKept", "$md5,rounds=5000$", R"(\$md5,rounds=5000\$%+\$\$%{22})"),
	completed("BsdiCountKept", "_/...", R"(_/\.\.\.%{15})"),
	// A method's name is its bare prefix.
	completed("YescryptByName", "yescrypt", R"(\$y\$j9T\$%+\$%{43})"),
	completed("BcryptByName", "bcrypt", R"(\$2b\$05\$%{53})"),
	completed("SunMd5ByName", "sunmd5", R"(\$md5,rounds=[0-9]+\$%+\$\$%{22})"),
	completed("DescryptByName", "descrypt", "%{13}"),
	// What libcrypt refuses only once the password is in.
	late("RefusedWhenHashing", "$y$jZT$F5Jx5fExrKuPp53xLKQ..1", streams),
	late("GostRefusedWhenHashing", "$gy$j.T$F5Jx5fExrKuPp53xLKQ..1", pipe),
	HAVE_CRYPT_GENSALT_RN ? late("CompletedRefusedWhenHashing", "$y$jZT$", pipe)
			      : refused("CompletedRefusedWhenHashing", "$y$jZT$",
					"this libcrypt cannot make a salt for '$y$jZT$'; give one"),
	// Refused before the prompt.
	refused("OneCharacter", "a", invalid("a")),
	refused("Colon", "a:", invalid("a:")),
	refused("ControlBytesShownAsQuestionMarks", "\x1b]2;x\a\xff", invalid("?]2;x??")),
	refused_call("UnknownOption", {"-x", "$6$"}, unknown("-x")),
	refused_call("UnknownLongOption", {"--method=yescrypt", "x"}, unknown("--method=yescrypt")),
	refused_call("UnknownOptionAfterTheSalt", {"$y$", "-s"}, unknown("-s")),
	refused("MangledByTheShell", "b2$", invalid("b2$")),
	refused("EmptySalt", "$6$$", "empty salt in '$6$$'"),
	refused("RoundsCutShort", "$6$rounds=5000", "empty salt in '$6$rounds=5000'"),
	refused("NtPrefix", "$3$", "the hashing method of '$3$' takes no salt"),
	refused("NoSaltForBcrypt2x", "$2x$",
		HAVE_CRYPT_GENSALT_RN ? "cannot make a salt for '$2x$': Invalid argument"
				      : "this libcrypt cannot make a salt for '$2x$'; give one"),
	refused("TooFewRounds", "$6$rounds=999$", invalid("$6$rounds=999$", sha)),
	refused("TooManyRounds", "$6$rounds=1000000000$abc", invalid("$6$rounds=1000000000$abc", sha)),
	refused("CostOfOneDigit", "$2b$4$", invalid("$2b$4$", cost)),
	refused("CostTooLow", "$2b$03$", invalid("$2b$03$", cost)),
	refused("CostTooHigh", "$2b$32$", invalid("$2b$32$", cost)),
	refused("BcryptSaltTooShort", "$2b$04$abc",
		invalid("$2b$04$abc", "bcrypt takes a salt of at least 22 characters")),
	refused("SunMd5RoundsOver32Bits", "$md5,rounds=4294967296$abc",
		invalid("$md5,rounds=4294967296$abc", "SunMD5 takes a rounds= value from 1 to 4294967295")),
	refused("BsdiSaltTooShort", "_J9..ab", invalid("_J9..ab", "bsdicrypt takes a salt of at least 4 characters")),
	refused("YescryptSaltUndecodable", "$y$j9T$abc",
		invalid("$y$j9T$abc", "yescrypt takes a salt of at most 86 characters that decodes into whole bytes")),
	refused("ScryptParameters", "$7$zzzzzzzzzzz",
		invalid("$7$zzzzzzzzzzz", "scrypt cannot take the parameters 'zzzzzzzzzzz'")),
	refused("HashTooLongToVerify", yescrypt + std::string(300, 'a'), invalid(yescrypt, never_verified)),
	refused("ScryptSaltTooLongToVerify", "$7$4/..../...." + std::string(282, 'a'),
		invalid("$7$4/..../...." + std::string(282, 'a'), never_verified)),
};

// Types input on a terminal that becomes the command's standard input;
// its output goes to files.  Empty when that could be done, else why not.
std::string run_typed(const Case &c, Result &r)
{
#ifdef OPENPTY_HEADER
	int master = -1, slave = -1;
	if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
		return std::string("no pseudo-terminal: ") + strerror(errno);
	fcntl(master, F_SETFD, FD_CLOEXEC);
	if (write(master, c.input.data(), c.input.size()) != static_cast<ssize_t>(c.input.size()))
		return "the terminal did not take the input";
	r = finish(start(c.args, slave));
	fcntl(slave, F_SETFL, O_NONBLOCK);
	r.left = drain(slave);
	close(slave);
	close(master);
	return "";
#else
	(void)c, (void)r;
	return "no openpty on this platform";
#endif
}

// A case, and the kind of standard input it runs on.
struct Param {
	const Case *c;
	Source from;
};

std::string name(const Param &p)
{
	const char *const kinds[] = {"", "Socket", "File", "Terminal"};
	return std::string(p.c->name) + kinds[static_cast<int>(p.from)];
}

void PrintTo(const Param &p, std::ostream *os)
{
	*os << name(p);
}

class Cases : public testing::TestWithParam<Param> {};

TEST_P(Cases, Run)
{
	const Case &c = *GetParam().c;
	Source from = GetParam().from;
	Result r;
	if (from != Source::terminal)
		r = run_on(from, c.args, c.input);
	else if (std::string why = run_typed(c, r); !why.empty())
		GTEST_SKIP() << why;
	EXPECT_EQ(r.status, c.status);
	EXPECT_EQ(r.err, c.said.empty() ? "" : "saltcrypt: " + c.said + "\n");
	EXPECT_EQ(r.left, c.left);
	const std::string lead = c.quiet ? "" : prompt;
	if (c.out[0] == '^') {
		std::string h = hash_in(r, lead);
		EXPECT_TRUE(std::regex_match(h, std::regex(c.out.substr(1)))) << h;
		EXPECT_EQ(hash_of("pw", h), h);
		EXPECT_NE(h, hash_in(run_on(from, c.args, c.input), lead)) << "the same salt twice";
	} else if (c.out != after_read) {
		EXPECT_EQ(r.out, c.out);
	} else if (c.status != ok) {
		EXPECT_EQ(r.out, lead) << "a hash was written";
	} else {
		// Every hash printed verifies; with a salt given, it is libcrypt's.
		std::string pass = c.input.substr(0, c.input.find('\n'));
		std::string h = hash_in(r, lead);
		ASSERT_FALSE(h.empty()) << r.out;
		EXPECT_EQ(hash_of(pass, h), h);
		if (c.args.size() == 1) {
			EXPECT_EQ(h, hash_of(pass, c.args[0]));
		}
	}
}

std::vector<Param> params()
{
	std::vector<Param> all;
	for (const Case &c : cases)
		for (Source s : {Source::pipe, Source::socket, Source::file, Source::terminal})
			if ((c.on & (1u << static_cast<int>(s))) != 0)
				all.push_back({&c, s});
	return all;
}

INSTANTIATE_TEST_SUITE_P(Saltcrypt, Cases, testing::ValuesIn(params()),
			 [](const testing::TestParamInfo<Param> &i) { return name(i.param); });

// --help and -h answer alike, without a prompt or a read: the usage, and
// the prefixes this libcrypt makes a salt for, as libcrypt in this
// process finds them, with exactly the one a null prefix names marked.
TEST(Saltcrypt, HelpListsTheMethodsOfThisLibcrypt)
{
	Result r = run_on(Source::pipe, {"--help"}, "pw\n");
	EXPECT_EQ(r.out, run_on(Source::pipe, {"-h"}, "pw\n").out);
	EXPECT_EQ(r.out.rfind("usage: saltcrypt [-q] [salt]\n       saltcrypt -V | --version\n       saltcrypt -h | --help\n", 0),
		  0u);
	EXPECT_EQ(r.out, run_on(Source::pipe, {"ab", "--help", "-x"}, "pw\n").out) << "an option after the salt";
	EXPECT_EQ(r.left, "pw\n");
#if HAVE_CRYPT_GENSALT_RN
	std::string want;
	char made[CRYPT_GENSALT_OUTPUT_SIZE];
	for (std::string prefix : {"$y$", "$gy$", "$7$", "$2b$", "$2y$", "$2a$", "$2x$", "$6$", "$5$", "$sha1", "$md5",
				   "$1$", "_", ""})
		if (crypt_gensalt_rn(prefix.c_str(), 0, nullptr, 0, made, sizeof made) != nullptr)
			want += (prefix.empty() ? "ab" : prefix) + " ";
	ASSERT_NE(crypt_gensalt_rn(nullptr, 0, nullptr, 0, made, sizeof made), nullptr);
	std::string listed, best;
	int marked = 0;
	std::istringstream lines(r.out.substr(r.out.find("by the prefix or the name to give:\n")));
	std::string line;
	std::getline(lines, line);
	while (std::getline(lines, line)) {
		std::string prefix = line.substr(2, line.find(' ', 2) - 2);
		listed += prefix + " ";
		// Each name shown asks for the prefix beside it; $2y$, $2a$ and $2x$
		// show bcrypt's, which is $2b$'s.
		std::string name = line.substr(9, line.find_first_of(",( ", 9) - 9);
		char setting[max_setting];
		std::string made = choose_salt(name.c_str(), setting);
		std::string want = prefix == "ab" ? "" : prefix.substr(0, prefix[1] == '2' ? 2 : prefix.size());
		EXPECT_EQ(made.rfind(want, 0), 0u) << name << " gave " << made;
		if (line.find("(this libcrypt's preferred method)") != std::string::npos) {
			best = prefix;
			marked++;
		}
	}
	EXPECT_EQ(listed, want) << r.out;
	EXPECT_EQ(marked, 1) << r.out;
	EXPECT_EQ(std::string(made).rfind(best, 0), 0u) << best << " is not the default " << made;
#else
	EXPECT_NE(r.out.find("This libcrypt makes no salts: give a complete setting"), std::string::npos) << r.out;
#endif
}

// Commands reading one file in turn each get their own line, even when a
// line is refused: a file is drained to the end of an over-long line,
// however long, with no bound.
TEST(Saltcrypt, SharedFileGivesOneLineEach)
{
	for (size_t length : {max_pass + 1, max_line, max_line + 10, size_t{1} << 20}) {
		int in = file_with(std::string(length, 'x') + "\nsecond\n" + std::string(length, 'y') + "\nthird");
		expect_error(finish(start({"ab"}, in)), too_long);
		EXPECT_EQ(finish(start({"ab"}, in)).out, prompt + hash_of("second", "ab") + "\n") << length;
		expect_error(finish(start({"ab"}, in)), too_long);
		EXPECT_EQ(drain(in), "third") << length;
		close(in);
	}
}

} // namespace
