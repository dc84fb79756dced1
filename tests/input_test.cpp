// SPDX-License-Identifier: MIT
// How saltcrypt takes its password: the first line of standard input,
// from a pipe, a socket, a file or a terminal, and nothing past it.
#include "harness.h"

#include <tuple>

namespace {

struct InputCase {
	const char *name;
	std::vector<std::string> args;
	std::string input;
	// The password expected to be hashed, or for an error its message.
	std::string want;
	bool ok;
	std::string left;               // what the next reader of the input must still get
	const char *file_left = nullptr; // what it gets from a file, where that differs
};

const std::string longest(max_pass, 'p');
const std::string huge = std::string(100 * 1024, 'x') + "\nnext\n";

const InputCase input_cases[] = {
	{"FirstLineWithoutNewline", {"ab"}, "password\n", "password", true, ""},
	{"EndOfInputKeepsLastByte", {"ab"}, "secret", "secret", true, ""},
	{"EmptyLineIsEmptyPassword", {"ab"}, "\n", "", true, ""},
	{"LongestAndNewline", {"$5$abc"}, longest + "\n", longest, true, ""},
	{"LongestAtEnd", {"$5$abc"}, longest, longest, true, ""},
	{"Passphrase", {"$5$abc"}, "correct horse battery staple\n", "correct horse battery staple", true, ""},
	{"OnlyTheFirstLine", {"ab"}, "first\nsecond\n", "first", true, "second\n"},
	{"BytesPassUnchanged", {"ab"}, " a b\r\x80\xff\t\n", " a b\r\x80\xff\t", true, ""},
	{"NulAfterTheLine", {"ab"}, std::string("pw\nx\0y\n", 7), "pw", true, std::string("x\0y\n", 4)},
	{"Sha512Salt", {"$6$saltsalt$"}, "password\n", "password", true, ""},
	{"YescryptSetting", {"$y$j9T$F5Jx5fExrKuPp53xLKQ..1$"}, "pw\n", "pw", true, ""},
	{"WholeHashAsSalt", {"abJnggxhB/yWI"}, "password\n", "password", true, ""},
	{"OverLongLine", {"ab"}, longest + "q\nnext\n", too_long, false, "next\n"},
	{"OverLongAtEnd", {"ab"}, longest + "qq", too_long, false, ""},
	// A pipe or socket is drained only to max_line bytes of the line, a
	// file to its end.
	{"FarOverLongLine", {"ab"}, huge, too_long, false, huge.substr(max_line), "next\n"},
	{"NulInsideLine", {"ab"}, std::string("a\0b\nnext\n", 9), "password contains a NUL byte", false, "next\n"},
	{"NulInsideOverLongLine", {"ab"}, std::string("a\0", 2) + longest + "\nnext\n", "password contains a NUL byte", false,
	 "next\n"},
	{"EmptyInput", {"ab"}, "", "no password: standard input is empty", false, ""},
#if HAVE_CRYPT_CHECKSALT // without it, the salt check hashes and refuses this
	{"CryptRejectsSetting", {"$y$jZT$F5Jx5fExrKuPp53xLKQ..1"}, "password\n",
	 cannot_hash("$y$jZT$F5Jx5fExrKuPp53xLKQ..1"), false, ""},
#endif
};

// Test names show the row, not its bytes.
void PrintTo(const InputCase &c, std::ostream *os)
{
	*os << c.name;
}

using Param = std::tuple<InputCase, Source>;

class Inputs : public testing::TestWithParam<Param> {};

TEST_P(Inputs, HashFirstLineOrFail)
{
	const InputCase &c = std::get<0>(GetParam());
	const Source from = std::get<1>(GetParam());
	Result r = run_on(from, c.args, c.input);
	EXPECT_EQ(r.left, from == Source::file && c.file_left != nullptr ? c.file_left : c.left);

	if (c.ok) {
		std::string h = hash_of(c.want, c.args[0]);
		ASSERT_FALSE(h.empty() || h[0] == '*') << h;
		EXPECT_EQ(r.status, 0);
		EXPECT_EQ(r.out, prompt + h + "\n");
		EXPECT_EQ(hash_of(c.want, h), h) << "the hash does not verify";
		EXPECT_EQ(r.err, "");
	} else {
		expect_error(r, c.want);
		EXPECT_EQ(r.out, prompt) << "a hash was written";
	}
}

std::string name(const testing::TestParamInfo<Param> &i)
{
	const char *const from[] = {"Pipe", "Socket", "File"};
	return std::string(std::get<0>(i.param).name) + from[static_cast<int>(std::get<1>(i.param))];
}

INSTANTIATE_TEST_SUITE_P(Saltcrypt, Inputs,
			 testing::Combine(testing::ValuesIn(input_cases),
					  testing::Values(Source::pipe, Source::socket, Source::file)),
			 name);

// Where the hash is weaker than it looks, one warning line each, and the
// hash as without it.  The arguments are ignored with more than one, and
// the salt comes from the clock.
TEST(Saltcrypt, WarnsWhereTheHashIsWeaker)
{
	const std::string bcrypt = "$2b$04$abcdefghijklmnopqrstuv";
	const std::string ignored = "warning: 2 arguments ignored, so the salt is a traditional DES salt from the clock; "
				    "give the salt as the only argument, as in saltcrypt '$y$'";
	auto cut = [](size_t used, size_t n) {
		return "warning: this method uses only the first " + std::to_string(used) + " bytes of the " +
		       std::to_string(n) + "-byte password";
	};
	struct Warning {
		std::vector<std::string> args;
		std::string pass;
		std::string said; // what standard error holds, "" for nothing
	};
	const Warning warnings[] = {
		{{"ab"}, "password123", cut(8, 11)},
		{{"ab"}, "password", ""},
		{{"abJnggxhB/yWIab"}, std::string(130, 'b'), cut(128, 130)},
		{{bcrypt}, std::string(73, 'b'), cut(72, 73)},
		{{bcrypt}, std::string(72, 'b'), ""},
		{{"$5$abc"}, std::string(300, 'b'), ""},
		{{"$5$abc"}, "pw\r", "warning: the password ends in a carriage return (CR), which is hashed with it"},
		{{"$5$abc"}, "p\rw", ""},
		{{"pw", "$6$"}, "pw", ignored},
		{{"--help", "x"}, "pw", ignored},
		{{"--", "$y$"}, "pw", ignored},
	};
	for (const Warning &w : warnings) {
		Result r = run_piped(w.args, w.pass + "\n");
		std::string h = hash_in(r);
		EXPECT_EQ(r.status, 0) << w.args[0];
		EXPECT_EQ(r.err, w.said.empty() ? "" : "saltcrypt: " + w.said + "\n") << w.args[0];
		ASSERT_FALSE(h.empty()) << w.args[0];
		EXPECT_EQ(hash_of(w.pass, h), h) << w.args[0];
		if (w.args.size() == 1) {
			EXPECT_EQ(h, hash_of(w.pass, w.args[0]));
		}
	}
}

// A line that arrives in pieces is still one password.
TEST(Saltcrypt, SlowPipe)
{
	int p[2];
	make_pipe(p);
	Child c = start({"ab"}, p[0]);
	close(p[0]);
	ASSERT_EQ(write(p[1], "sec", 3), 3);
	usleep(100000);
	ASSERT_EQ(write(p[1], "ret\n", 4), 4);
	close(p[1]);
	Result r = finish(c);
	EXPECT_EQ(r.status, 0);
	EXPECT_EQ(r.out, prompt + hash_of("secret", "ab") + "\n");
}

// A caller may leave a descriptor non-blocking: the command waits on it
// as on a blocking one.  Standard input gets the password late, and
// standard output starts full and is read late.
TEST(Saltcrypt, WaitsOnNonBlockingDescriptors)
{
	const std::string line = prompt + hash_of("pw", "ab") + "\n";
	int in[2];
	make_pipe(in);
	fcntl(in[0], F_SETFL, O_NONBLOCK);
	Child c = start({"ab"}, in[0]);
	close(in[0]);
	usleep(300000);
	ASSERT_EQ(write(in[1], "pw\n", 3), 3);
	close(in[1]);
	Result r = finish(c);
	EXPECT_EQ(r.out, line);
	EXPECT_EQ(r.err, "");

	int out[2];
	make_pipe(out);
	fcntl(out[1], F_SETFL, O_NONBLOCK);
	const std::string block(4096, '#');
	size_t full = 0;
	while (write(out[1], block.data(), block.size()) > 0)
		full += block.size();
	ASSERT_EQ(errno, EAGAIN);
	int pw = file_with("pw\n");
	c = start({"ab"}, pw, out[1]);
	close(out[1]);
	usleep(300000);
	std::string got = drain(out[0]);
	r = finish(c);
	EXPECT_EQ(got.substr(std::min(full, got.size())), line);
	EXPECT_EQ(r.status, 0);
	EXPECT_EQ(r.err, "");
	close(out[0]);
	close(pw);
}

// Commands reading one file in turn each get their own line, even when a
// line is refused: a file is drained to the end of an over-long line,
// however long, with no bound.
TEST(Saltcrypt, SharedFileGivesOneLineEach)
{
	for (size_t length : {max_pass + 1, max_line, max_line + 10, size_t{1} << 20}) {
		int in = file_with(std::string(length, 'x') + "\nsecond\n" + std::string(length, 'y') + "\nthird");
		expect_error(run({"ab"}, in), too_long);
		EXPECT_EQ(run({"ab"}, in).out, prompt + hash_of("second", "ab") + "\n") << length;
		expect_error(run({"ab"}, in), too_long);
		EXPECT_EQ(drain(in), "third") << length;
		close(in);
	}
}

void cannot_seek()
{
	stand_in("SALTCRYPT_LSEEK", "never");
}

void cannot_seek_back()
{
	stand_in("SALTCRYPT_LSEEK", "back");
}

// A regular file that cannot seek is read as a pipe is, a byte at a time;
// one whose offset cannot be set back past the newline is an error, not
// a line lost for the next reader.
TEST(Saltcrypt, FileThatCannotSeek)
{
	if (std::string why = preload_unavailable(); !why.empty())
		GTEST_SKIP() << why;
	int in = file_with("first\nsecond\n");
	Result r = run({"ab"}, in, capture, cannot_seek);
	EXPECT_EQ(r.out, prompt + hash_of("first", "ab") + "\n") << r.err;
	EXPECT_EQ(drain(in), "second\n");
	close(in);

	in = file_with("first\nsecond\n");
	expect_error(run({"ab"}, in, capture, cannot_seek_back), "cannot read the password: Illegal seek");
	close(in);
}

// At a terminal, nothing of what was typed may be left for the shell to
// read once the command has ended, and a message never shares the
// prompt's line: it follows the echo of a typed newline, or starts a line
// of its own.  The terminal shows each newline as CR LF.
TEST(Saltcrypt, TerminalKeepsNothingTyped)
{
	const std::string over(max_pass + 6, 'x');
	const std::string too_long_line = "saltcrypt: " + too_long + "\r\n";
	struct Typed {
		std::string line;
		int status;
		std::string shows;
		bool from_file;      // the line comes from a file, not the keyboard
		bool echo_off = false;
		bool out_to_file = false; // the prompt goes to a file, not the terminal
	};
	const Typed cases[] = {
		{"secret\n", 0, prompt + "secret\r\n" + hash_of("secret", "ab") + "\r\n", false},
		{over + "\n", 1, prompt + over + "\r\n" + too_long_line, false},
		{std::string(4000, 'x') + "\n", 1, "x\r\n" + too_long_line, false},
		{"\x04", 1, prompt + "\r\nsaltcrypt: no password: standard input is empty\r\n", false},
		{over + "\n", 1, prompt + "\r\n" + too_long_line, true},
		{over + "\n", 1, prompt + "\r\n" + too_long_line, false, true},
		{"\x04", 1, "saltcrypt: no password: standard input is empty\r\n", false, false, true},
	};
	for (const Typed &t : cases) {
		int in = t.from_file ? file_with(t.line) : -1;
		int out = t.out_to_file ? temp_file() : -1;
		Terminal term;
		if (std::string why = start_on_terminal({"ab"}, in, term, out, t.echo_off); !why.empty())
			GTEST_SKIP() << why;
		std::string seen;
		if (!t.out_to_file)
			read_until(term.master, seen, prompt);
		if (!t.from_file) {
			ASSERT_EQ(write(term.master, t.line.data(), t.line.size()), static_cast<ssize_t>(t.line.size()));
		}
		read_until(term.master, seen, t.shows);
		int st = 0;
		waitpid(term.pid, &st, 0);
		EXPECT_EQ(WEXITSTATUS(st), t.status);
		if (t.out_to_file) {
			EXPECT_EQ(seen, t.shows);
			EXPECT_EQ(contents(out), prompt);
			close(out);
		} else {
			EXPECT_NE(seen.find(t.shows), std::string::npos) << seen;
		}

		int pending = -1;
		ASSERT_EQ(ioctl(term.slave, FIONREAD, &pending), 0);
		EXPECT_EQ(pending, 0) << "left in the terminal's input";
		if (in >= 0)
			close(in);
		close(term.master);
		close(term.slave);
	}
}

} // namespace
