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

const std::string s24(24, 'p');
const std::string huge = std::string(100 * 1024, 'x') + "\nnext\n";

const InputCase input_cases[] = {
	{"FirstLineWithoutNewline", {"ab"}, "password\n", "password", true, ""},
	{"EndOfInputKeepsLastByte", {"ab"}, "secret", "secret", true, ""},
	{"EmptyLineIsEmptyPassword", {"ab"}, "\n", "", true, ""},
	{"TwentyFourBytesAndNewline", {"ab"}, s24 + "\n", s24, true, ""},
	{"TwentyFourBytesAtEnd", {"ab"}, s24, s24, true, ""},
	{"OnlyTheFirstLine", {"ab"}, "first\nsecond\n", "first", true, "second\n"},
	{"BytesPassUnchanged", {"ab"}, " a b\r\x80\xff\t\n", " a b\r\x80\xff\t", true, ""},
	{"NulAfterTheLine", {"ab"}, std::string("pw\nx\0y\n", 7), "pw", true, std::string("x\0y\n", 4)},
	{"Sha512Salt", {"$6$saltsalt$"}, "password\n", "password", true, ""},
	{"YescryptSetting", {"$y$j9T$F5Jx5fExrKuPp53xLKQ..1$"}, "pw\n", "pw", true, ""},
	{"WholeHashAsSalt", {"abJnggxhB/yWI"}, "password\n", "password", true, ""},
	{"OverLongLine", {"ab"}, s24 + "q\nnext\n", too_long, false, "next\n"},
	{"OverLongAtEnd", {"ab"}, s24 + "qq", too_long, false, ""},
	// A pipe or socket is drained only to max_line bytes of the line, a
	// file to its end.
	{"FarOverLongLine", {"ab"}, huge, too_long, false, huge.substr(max_line), "next\n"},
	{"NulInsideLine", {"ab"}, std::string("a\0b\nnext\n", 9), "password contains a NUL byte", false, "next\n"},
	{"EmptyInput", {"ab"}, "", "no password: standard input is empty", false, ""},
#if HAVE_CRYPT_CHECKSALT // without it, the salt check hashes and refuses this
	{"CryptRejectsSetting", {"$2b$04$abc"}, "password\n", "cannot hash the password: Invalid argument", false, ""},
#endif
};

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
	for (size_t length : {size_t{30}, max_line, max_line + 10, size_t{1} << 20}) {
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
	const std::string x30(30, 'x');
	const std::string too_long_line = "saltcrypt: " + too_long + "\r\n";
	struct Typed {
		std::string line;
		int status;
		std::string shows;
		bool from_file; // the line comes from a file, not the keyboard
	};
	const Typed cases[] = {
		{"secret\n", 0, prompt + "secret\r\n" + hash_of("secret", "ab") + "\r\n", false},
		{x30 + "\n", 1, prompt + x30 + "\r\n" + too_long_line, false},
		{std::string(4000, 'x') + "\n", 1, "x\r\n" + too_long_line, false},
		{"\x04", 1, prompt + "\r\nsaltcrypt: no password: standard input is empty\r\n", false},
		{x30 + "\n", 1, prompt + "\r\n" + too_long_line, true},
	};
	for (const Typed &t : cases) {
		int in = t.from_file ? file_with(t.line) : -1;
		Terminal term;
		if (std::string why = start_on_terminal({"ab"}, in, term); !why.empty())
			GTEST_SKIP() << why;
		std::string seen;
		read_until(term.master, seen, prompt);
		if (!t.from_file) {
			ASSERT_EQ(write(term.master, t.line.data(), t.line.size()), static_cast<ssize_t>(t.line.size()));
		}
		read_until(term.master, seen, t.shows);
		int st = 0;
		waitpid(term.pid, &st, 0);
		EXPECT_EQ(WEXITSTATUS(st), t.status);
		EXPECT_NE(seen.find(prompt), std::string::npos) << seen;
		EXPECT_NE(seen.find(t.shows), std::string::npos) << seen;

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
