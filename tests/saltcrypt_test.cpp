// End-to-end tests: saltcrypt runs as a child process with its standard
// descriptors on pipes, files, devices and a pseudo-terminal.  Expected
// hashes come from libcrypt in this process, never from the command.

#include "salt.h"

#include <crypt.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string prompt = "Password to be encrypted: ";
constexpr int closed = -1;
constexpr int capture = -2;

std::string hash_of(const std::string &pass, const std::string &salt)
{
	const char *h = crypt(pass.c_str(), salt.c_str());
	return h != nullptr ? h : "";
}

int temp_file()
{
	char path[] = "/tmp/saltcrypt-test-XXXXXX";
	int fd = mkstemp(path);
	unlink(path);
	return fd;
}

// Everything from fd's current offset (or a pipe's remaining bytes).
std::string drain(int fd)
{
	std::string s;
	char chunk[4096];
	ssize_t r = 0;
	while ((r = read(fd, chunk, sizeof chunk)) > 0)
		s.append(chunk, static_cast<size_t>(r));
	return s;
}

std::string contents(int fd)
{
	lseek(fd, 0, SEEK_SET);
	return drain(fd);
}

// Sets a standard descriptor to fd, or closes it.
void place(int fd, int target)
{
	if (fd == closed)
		close(target);
	else if (fd != target)
		dup2(fd, target);
}

struct Child {
	pid_t pid;
	int out; // captured standard output, or -1 when redirected
	int err;
};

// The command line for the command, behind the words of
// SALTCRYPT_WRAPPER when set (a memory checker, say).
std::vector<std::string> command(const std::vector<std::string> &args)
{
	std::vector<std::string> words;
	if (const char *w = getenv("SALTCRYPT_WRAPPER")) {
		std::istringstream in(w);
		for (std::string word; in >> word;)
			words.push_back(word);
	}
	words.emplace_back(SALTCRYPT_BIN);
	words.insert(words.end(), args.begin(), args.end());
	return words;
}

[[noreturn]] void exec(const std::vector<std::string> &words)
{
	std::vector<char *> argv;
	for (const std::string &w : words)
		argv.push_back(const_cast<char *>(w.c_str()));
	argv.push_back(nullptr);
	execvp(argv[0], argv.data());
	_exit(127);
}

Child start(const std::vector<std::string> &args, int in, int out_to = capture)
{
	Child c{0, out_to == capture ? temp_file() : -1, temp_file()};
	int out = out_to == capture ? c.out : out_to;
	std::vector<std::string> words = command(args);

	c.pid = fork();
	if (c.pid == 0) {
		place(c.err, 2);
		place(out, 1);
		place(in, 0);
		exec(words);
	}
	return c;
}

struct Result {
	int status;
	std::string out;
	std::string err;
	std::string left; // input left unread, for run_piped
};

Result finish(const Child &c)
{
	int st = 0;
	waitpid(c.pid, &st, 0);
	Result r{WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st), "", contents(c.err), ""};
	if (c.out >= 0) {
		r.out = contents(c.out);
		close(c.out);
	}
	close(c.err);
	return r;
}

Result run(const std::vector<std::string> &args, int in, int out_to = capture)
{
	return finish(start(args, in, out_to));
}

// Runs the command on a pipe that already holds input and is closed for
// writing, and keeps what the command left unread.
Result run_piped(const std::vector<std::string> &args, const std::string &input,
		 int out_to = capture)
{
	int p[2];
	if (pipe(p) != 0)
		return {-1, "", "pipe failed", ""};
	if (write(p[1], input.data(), input.size()) != static_cast<ssize_t>(input.size()))
		return {-1, "", "input larger than a pipe", ""};
	close(p[1]);
	Result r = run(args, p[0], out_to);
	r.left = drain(p[0]);
	close(p[0]);
	return r;
}

void expect_error(const Result &r, const std::string &what)
{
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.err.rfind("saltcrypt: ", 0), 0u) << r.err;
	EXPECT_NE(r.err.find(what), std::string::npos) << r.err;
	EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "not one line: " << r.err;
}

struct PipeCase {
	const char *name;
	std::vector<std::string> args;
	std::string input;
	// The password expected to be hashed, or for an error the words that
	// its message must hold.
	std::string want;
	bool ok;
	std::string left; // what the next reader of the input must still get
};

std::string s24(24, 'p');

const PipeCase pipe_cases[] = {
	{"FirstLineWithoutNewline", {"ab"}, "password\n", "password", true, ""},
	{"EndOfInputKeepsLastByte", {"ab"}, "secret", "secret", true, ""},
	{"EmptyLineIsEmptyPassword", {"ab"}, "\n", "", true, ""},
	{"TwentyFourBytesAndNewline", {"ab"}, s24 + "\n", s24, true, ""},
	{"TwentyFourBytesAtEnd", {"ab"}, s24, s24, true, ""},
	{"OnlyTheFirstLine", {"ab"}, "first\nsecond\n", "first", true, "second\n"},
	{"BytesPassUnchanged", {"ab"}, " a b\r\x80\xff\t\n", " a b\r\x80\xff\t", true, ""},
	{"Sha512Salt", {"$6$saltsalt$"}, "password\n", "password", true, ""},
	{"YescryptSetting", {"$y$j9T$F5Jx5fExrKuPp53xLKQ..1$"}, "pw\n", "pw", true, ""},
	{"WholeHashAsSalt", {"abJnggxhB/yWI"}, "password\n", "password", true, ""},
	{"OverLongLine", {"ab"}, s24 + "q\nnext\n", "longer than 24 bytes", false, "next\n"},
	{"OverLongAtEnd", {"ab"}, s24 + "qq", "longer than 24 bytes", false, ""},
	{"NulInsideLine", {"ab"}, std::string("a\0b\nnext\n", 9), "NUL", false, "next\n"},
	{"EmptyInput", {"ab"}, "", "no password", false, ""},
	{"CryptRejectsSetting", {"$7$"}, "password\n", "cannot hash", false, ""},
};

void PrintTo(const PipeCase &c, std::ostream *os)
{
	*os << c.name;
}

class Pipes : public testing::TestWithParam<PipeCase> {};

TEST_P(Pipes, HashFirstLineOrFail)
{
	const PipeCase &c = GetParam();
	Result r = run_piped(c.args, c.input);
	EXPECT_EQ(r.left, c.left);

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

INSTANTIATE_TEST_SUITE_P(Saltcrypt, Pipes, testing::ValuesIn(pipe_cases),
			 [](const testing::TestParamInfo<PipeCase> &i) { return i.param.name; });

TEST(Saltcrypt, KnownAnswer)
{
	Result r = run_piped({"ab"}, "password\n");
	EXPECT_EQ(r.out, prompt + "abJnggxhB/yWI\n");
	EXPECT_EQ(r.status, 0);
}

// With no argument, or more than one, the salt comes from the clock; the
// same second gives the same salt in this process.  A slow run (under a
// memory checker) may cross a second, so that comparison is made only
// when the second stayed the same.
TEST(Saltcrypt, GeneratesSaltUnlessOneArgument)
{
	const std::vector<std::string> arg_lists[] = {{}, {"ab", "cd"}, {"ab", "cd", "ef"}};
	for (const auto &args : arg_lists) {
		Result r{};
		char salt[24] = "";
		bool same_second = false;
		for (int tries = 0; tries < 5 && !same_second; tries++) {
			time_t before = time(nullptr);
			r = run_piped(args, "secret\n");
			generate_salt(salt);
			same_second = time(nullptr) == before;
		}
		ASSERT_EQ(r.status, 0) << r.err;
		ASSERT_EQ(r.out.rfind(prompt, 0), 0u);
		std::string h = r.out.substr(prompt.size());
		ASSERT_EQ(h.size(), 14u) << h;
		h.pop_back();
		EXPECT_EQ(hash_of("secret", h), h) << args.size() << " arguments";
		if (same_second) {
			EXPECT_EQ(h.substr(0, 2), salt) << args.size() << " arguments";
		}
	}
}

// A bad salt is refused before the prompt, and no input is taken.
TEST(Saltcrypt, RefusesUnusableSaltBeforePrompt)
{
	const std::string salts[] = {"", "a", "a:", "--help", std::string(100, '!') + "\n"};
	for (const std::string &salt : salts) {
		Result r = run_piped({salt}, "password\n");
		EXPECT_EQ(r.left, "password\n");
		expect_error(r, "usage: saltcrypt [salt]");
		EXPECT_EQ(r.out, "");
	}
}

// A line that arrives in pieces is still one password.
TEST(Saltcrypt, SlowPipe)
{
	int p[2];
	ASSERT_EQ(pipe(p), 0);
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

// Two commands reading one file in turn each get their own line, even when
// the first line is refused.
TEST(Saltcrypt, SharedFileGivesOneLineEach)
{
	int in = temp_file();
	std::string data = std::string(30, 'x') + "\nsecond\nthird";
	ASSERT_EQ(write(in, data.data(), data.size()), static_cast<ssize_t>(data.size()));
	lseek(in, 0, SEEK_SET);

	expect_error(run({"ab"}, in), "longer than 24 bytes");
	EXPECT_EQ(run({"ab"}, in).out, prompt + hash_of("second", "ab") + "\n");
	EXPECT_EQ(run({"ab"}, in).out, prompt + hash_of("third", "ab") + "\n");
	expect_error(run({"ab"}, in), "no password");
	close(in);
}

TEST(Saltcrypt, UnusableDescriptors)
{
	int full = open("/dev/full", O_WRONLY);
	int null = open("/dev/null", O_RDONLY);
	int dir = open("/", O_RDONLY | O_DIRECTORY);
	ASSERT_GE(full, 0);
	expect_error(run_piped({"ab"}, "password\n", full), "cannot write to standard output: No space left");
	expect_error(run_piped({"ab"}, "password\n", closed), "cannot write to standard output");
	expect_error(run({"ab"}, closed), "cannot read the password");
	expect_error(run({"ab"}, dir), "cannot read the password: Is a directory");
	expect_error(run({"ab"}, null), "no password");
	close(full);
	close(null);
	close(dir);
}

// Reads the terminal's output until it shows want, or a few seconds pass.
std::string read_until(int master, const std::string &want)
{
	std::string seen;
	char chunk[256];
	for (int i = 0; i < 50 && seen.find(want) == std::string::npos; i++) {
		pollfd p{master, POLLIN, 0};
		if (poll(&p, 1, 100) <= 0)
			continue;
		ssize_t r = read(master, chunk, sizeof chunk);
		if (r <= 0)
			break;
		seen.append(chunk, static_cast<size_t>(r));
	}
	return seen;
}

// At a terminal, nothing of what was typed may be left for the shell to
// read once the command has ended.
TEST(Saltcrypt, TerminalKeepsNothingTyped)
{
	struct Typed {
		std::string line;
		int status;
		std::string shows;
	};
	const Typed cases[] = {
		{"secret\n", 0, hash_of("secret", "ab")},
		{std::string(30, 'x') + "\n", 1, "longer than 24 bytes"},
	};
	for (const Typed &t : cases) {
		int master = -1;
		int slave = -1;
		ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
		std::vector<std::string> words = command({"ab"});
		pid_t pid = fork();
		if (pid == 0) {
			setsid();
			ioctl(slave, TIOCSCTTY, 0);
			dup2(slave, 0);
			dup2(slave, 1);
			dup2(slave, 2);
			close(master);
			exec(words);
		}
		EXPECT_NE(read_until(master, prompt).find(prompt), std::string::npos);
		ASSERT_EQ(write(master, t.line.data(), t.line.size()), static_cast<ssize_t>(t.line.size()));
		std::string shown = read_until(master, t.shows);
		int st = 0;
		waitpid(pid, &st, 0);
		EXPECT_EQ(WEXITSTATUS(st), t.status);
		EXPECT_NE(shown.find(t.shows), std::string::npos) << shown;

		int pending = -1;
		ASSERT_EQ(ioctl(slave, FIONREAD, &pending), 0);
		EXPECT_EQ(pending, 0) << "left in the terminal's input";
		close(master);
		close(slave);
	}
}

} // namespace
