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
	bool quiet = false;           // -q: the hash line alone, with no prompt
	bool posixly_correct = false; // run with POSIXLY_CORRECT set
};

// A salt or an option refused before the prompt: no input is taken, and
// standard output holds what -q leaves, or nothing.
Case refused_call(const char *name, const std::vector<std::string> &args, const std::string &said,
		  const std::string &out = "")
{
	return {name, args, "password\n", said, failed, "password\n", out, pipe};
}

Case refused(const char *name, const std::string &arg, const std::string &said)
{
	return refused_call(name, {arg}, said);
}

std::string unknown(const std::string &option)
{
	return "unknown option '" + option + "'; " + usage;
}

const std::string locked = "*0\n";
const std::string name_a_method = ": name a method, as in saltcrypt -q '$y$'";

const std::string longest(max_pass, 'p');
const std::string huge = std::string(100 * 1024, 'x') + "\nnext\n";
const std::string bcrypt = "$2b$04$abcdefghijklmnopqrstuv";
const std::string yescrypt = "$y$j9T$F5Jx5fExrKuPp53xLKQ..1$tnSYvahCwPBHKZUspmcxMfb0.WiB9W.zEaKlOBL35rC";
const std::string sha = "sha512crypt takes a rounds= value from 1000 to 999999999";
const std::string cost = "bcrypt takes a cost of two digits from 04 to 31";
const std::string cr = "warning: the password ends in a carriage return (CR), which is hashed with it";
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
Case late(const char *name, const std::string &arg, unsigned on, bool quiet = false)
{
	std::vector<std::string> args = quiet ? std::vector<std::string>{"-q", arg} : std::vector<std::string>{arg};
	std::string out = quiet ? locked : "";
	if (!HAVE_CRYPT_CHECKSALT)
		return {name, args, "password\n", invalid(arg), failed, "password\n", out, on};
	return {name, args, "password\n", "libcrypt cannot hash with the setting '" + arg + "'", failed, "",
		quiet ? out : after_read, on, quiet};
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
	{"QuietAfterTheSaltPosixlyCorrect", {"ab", "-q"}, "password\n", "", ok, "", "abJnggxhB/yWI\n", pipe, true, true},
	{"QuietInACluster", {"-qV"}, "pw\n", "", ok, "pw\n", "saltcrypt " SALTCRYPT_VERSION "\n", pipe},
	// With -q, exactly one salt, and a failure leaves a password field
	// that no password verifies against, never an empty one; nor one
	// equal to the salt argument.
	refused_call("QuietWithoutASalt", {"-q"}, "-q needs a salt" + name_a_method, locked),
	refused_call("QuietWithTwoSalts", {"-q", "$6$", "rounds=5000"}, "-q takes one salt, not 2" + name_a_method, locked),
	refused_call("QuietRefusedSalt", {"-q", "sha512"},
		     "invalid salt 'sha512': a traditional salt is two characters; for sha512crypt, give sha512crypt or '$6$'",
		     locked),
	refused_call("QuietAfterAnUnknownOption", {"-x", "-q", "ab"}, unknown("-x"), locked),
	refused_call("QuietLockedFieldAsSalt", {"-q", "*0"}, invalid("*0", "a locked password field, which holds no hash"),
		     "*1\n"),
	refused_call("QuietOtherLockedField", {"-q", "*1"}, invalid("*1", "a locked password field, which holds no hash"),
		     locked),
	{"QuietFailure", {"-q", "ab"}, "", "no password: standard input is empty", failed, "", locked, pipe, true},
	{"SaltAfterDoubleDash", {"--", "$6$saltsalt$"}, "password\n", "", ok, "",
	 prompt + hash_of("password", "$6$saltsalt$") + "\n", pipe},
	// Where the hash is weaker than it looks.
	{"CutByDes", {"ab"}, "password123\n", cut(8, 11), ok, "", after_read, pipe},
	{"CutByBigcrypt", {"abJnggxhB/yWIab"}, std::string(130, 'b') + "\n", cut(128, 130), ok, "", after_read, pipe},
	{"CutByBcrypt", {bcrypt}, std::string(73, 'b') + "\n", cut(72, 73), ok, "", after_read, pipe},
	{"NotCutAtBcryptsLength", {bcrypt}, std::string(72, 'b') + "\n", "", ok, "", after_read, pipe},
	{"EndsInCarriageReturn", {"ab"}, "pw\r\n", cr, ok, "", after_read, pipe},
	{"CarriageReturnAtTheCut", {"-q", "ab"}, "1234567\r\n", cr, ok, "", after_read, pipe, true},
	{"CutByAStoredDesHash", {"-q", "abJnggxhB/yWI"}, "password123\n", cut(8, 11), ok, "", "abJnggxhB/yWI\n", pipe, true},
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
	late("QuietRefusedWhenHashing", "$y$jZT$F5Jx5fExrKuPp53xLKQ..1", pipe, true),
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
	refused_call("UnknownOptionInACluster", {"-xq", "ab"}, unknown("-x"), locked),
	refused_call("UnknownOptionAfterQuietInACluster", {"-qx", "ab"}, unknown("-x"), locked),
	refused_call("OptionWithAnArgument", {"--quiet=no", "ab"}, unknown("--quiet=no")),
	refused_call("HelpWithAnArgument", {"--help=1"}, unknown("--help=1")),
	refused("LoneDash", "-", invalid("-")),
	refused("MangledByTheShell", "b2$", expanded("b2$")),
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
	refused("ScryptMemoryPastCounting", "$7$S....6/....abc",
		invalid("$7$S....6/....abc", "scrypt cannot take the parameters 'S....6/....'")),
	refused("Sha1CountPastReading", "$sha1$" + std::string(184, '9') + "$",
		invalid("$sha1$" + std::string(184, '9') + "$", "sha1crypt takes a count from 1 to 4294967295")),
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
	InChild setup = c.posixly_correct ? InChild([] { setenv("POSIXLY_CORRECT", "1", 1); }) : nullptr;
	if (from != Source::terminal)
		r = run_on(from, c.args, c.input, capture, setup);
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
		// A traditional salt is one of 4,096: ten the same would be a
		// chance of one in 2^108.
		bool fresh = false;
		for (int i = 0; i < 9 && !fresh; i++)
			fresh = hash_in(run_on(from, c.args, c.input), lead) != h;
		EXPECT_TRUE(fresh) << "the same salt ten times";
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

// --help and -h answer alike, without a prompt or a read, wherever they
// stand: the usage and the options, then a line for each method that
// this libcrypt makes a salt for, as libcrypt in this process answers,
// with the one it prefers marked.  Every line fits 80 columns.
TEST(Saltcrypt, HelpListsTheMethodsOfThisLibcrypt)
{
	std::string want = "usage: saltcrypt [salt]\n"
			   "       saltcrypt -q salt\n"
			   "       saltcrypt -V | --version\n"
			   "       saltcrypt -h | --help\n"
			   "Write the prompt \"Password to be encrypted: \" to standard output, read the\n"
			   "password from the first line of standard input, and write its crypt(3)\n"
			   "hash and a newline after the prompt.  The password is at most " +
			   std::to_string(max_pass) +
			   " bytes,\n"
			   "the longest that libcrypt takes.\n"
			   "  -q, --quiet  write the hash line alone, with no prompt, for a script;\n"
			   "               needs exactly one salt, and writes *0, a locked password\n"
			   "               field, in place of the hash when it fails\n"
			   "Give a method's name or prefix for a fresh random salt, as in saltcrypt\n"
			   "yescrypt or saltcrypt '$y$', or a whole setting, as the one argument.\n"
			   "Without one, the salt is a traditional DES salt made from the clock: for\n"
			   "legacy systems only.  The reference is 'man saltcrypt'.\n\n";
#if HAVE_CRYPT_GENSALT_RN
	struct Listed {
		const char *prefix, *line;
	};
	const Listed methods[] = {
		{"$y$", "  $y$    yescrypt"},
		{"$gy$", "  $gy$   gost-yescrypt"},
		{"$7$", "  $7$    scrypt"},
		{"$2b$", "  $2b$   bcrypt"},
		{"$2y$", "  $2y$   bcrypt, as $2b$"},
		{"$2a$", "  $2a$   bcrypt, as crypt_blowfish 1.0.4 and earlier"},
		{"$2x$", "  $2x$   bcrypt, with crypt_blowfish's 8-bit bug"},
		{"$6$", "  $6$    sha512crypt"},
		{"$5$", "  $5$    sha256crypt"},
		{"$sha1", "  $sha1  sha1crypt"},
		{"$md5", "  $md5   SunMD5"},
		{"$1$", "  $1$    md5crypt"},
		{"_", "  _      bsdicrypt, BSDI extended DES"},
		{"", "  ab     descrypt, traditional DES: two salt characters"},
	};
	char made[CRYPT_GENSALT_OUTPUT_SIZE];
	ASSERT_NE(crypt_gensalt_rn(nullptr, 0, nullptr, 0, made, sizeof made), nullptr);
	const std::string preferred = made;
	bool marked = false;
	want += "Methods that this libcrypt makes a salt for, by the prefix or the name to give:\n";
	for (const Listed &m : methods) {
		if (crypt_gensalt_rn(m.prefix, 0, nullptr, 0, made, sizeof made) == nullptr)
			continue;
		bool best = !marked && preferred.rfind(m.prefix, 0) == 0;
		marked = marked || best;
		want += std::string(m.line) + (best ? " (this libcrypt's preferred method)\n" : "\n");
	}
#else
	want += "This libcrypt makes no salts: give a complete setting, such as ab or\n"
		"$6$saltsalt$, as crypt(5) describes them.\n";
#endif
	Result r = run_on(Source::pipe, {"--help"}, "pw\n");
	EXPECT_EQ(r.out, want);
	EXPECT_EQ(r.status, 0);
	EXPECT_EQ(r.left, "pw\n");
	for (const std::vector<std::string> &args : {std::vector<std::string>{"-h"}, {"ab", "--help", "-x"}, {"-q", "-h"}})
		EXPECT_EQ(run_on(Source::pipe, args, "pw\n").out, want) << args[0];
	std::istringstream lines(r.out);
	for (std::string line; std::getline(lines, line);)
		EXPECT_LE(line.size(), 80u) << line;
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
