// SPDX-License-Identifier: MIT
// End-to-end tests: saltcrypt runs as a child process with its standard
// descriptors on pipes, files, devices and a pseudo-terminal.  Expected
// hashes come from libcrypt in this process, never from the command.

#include "platform.h"
#include "salt.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(HAVE_PTY_H)
#include <pty.h>
#elif defined(HAVE_UTIL_H)
#include <util.h>
#elif defined(HAVE_LIBUTIL_H)
#include <libutil.h>
#endif

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const std::string prompt = "Password to be encrypted: ";
constexpr int closed = -1;
constexpr int capture = -2;
constexpr size_t max_line = 64 * 1024;

// A child that ends before reading all its input must fail a test, not
// kill the runner that feeds it.
const bool sigpipe_ignored = signal(SIGPIPE, SIG_IGN) != SIG_ERR;

// The harness cannot go on without its pipes, files and children.
int must(int r, const char *what)
{
	if (r < 0)
		throw std::runtime_error(std::string(what) + ": " + strerror(errno));
	return r;
}

std::string hash_of(const std::string &pass, const std::string &salt)
{
	const char *h = crypt(pass.c_str(), salt.c_str());
	return h != nullptr ? h : "";
}

int temp_file()
{
	char path[] = "/tmp/saltcrypt-test-XXXXXX";
	int fd = must(mkstemp(path), "mkstemp");
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

// Adds an option for AddressSanitizer, in a child about to run the
// command, to those the sanitizer build was given.
void add_asan_option(const std::string &option)
{
	const char *given = getenv("ASAN_OPTIONS");
	setenv("ASAN_OPTIONS", (std::string(given != nullptr ? given : "") + ":" + option).c_str(), 1);
}

// setup, when given, runs in the child just before the command starts.
Child start(const std::vector<std::string> &args, int in, int out_to = capture,
	    void (*setup)() = nullptr)
{
	Child c{0, out_to == capture ? temp_file() : -1, temp_file()};
	int out = out_to == capture ? c.out : out_to;
	std::vector<std::string> words = command(args);

	c.pid = must(fork(), "fork");
	if (c.pid == 0) {
		place(c.err, 2);
		place(out, 1);
		place(in, 0);
		if (setup != nullptr)
			setup();
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

Result run(const std::vector<std::string> &args, int in, int out_to = capture,
	   void (*setup)() = nullptr)
{
	return finish(start(args, in, out_to, setup));
}

// A pipe whose ends no child inherits, but as a standard descriptor: a
// command that held the write end would never see the end of its input.
void make_pipe(int (&p)[2])
{
	must(pipe(p), "pipe");
	fcntl(p[0], F_SETFD, FD_CLOEXEC);
	fcntl(p[1], F_SETFD, FD_CLOEXEC);
}

// A pipe whose other end a child process fills with input and then
// closes, so that input may exceed what the pipe holds.
int feed(const std::string &input, pid_t &writer)
{
	int p[2] = {-1, -1};
	make_pipe(p);
	writer = must(fork(), "fork");
	if (writer == 0) {
		close(p[0]);
		size_t done = 0;
		while (done < input.size()) {
			ssize_t w = write(p[1], input.data() + done, input.size() - done);
			if (w <= 0)
				_exit(1);
			done += static_cast<size_t>(w);
		}
		_exit(0);
	}
	close(p[1]);
	return p[0];
}

// Runs the command on a fed pipe and keeps what it left unread.
Result run_piped(const std::vector<std::string> &args, const std::string &input,
		 int out_to = capture, void (*setup)() = nullptr)
{
	pid_t writer = 0;
	int in = feed(input, writer);
	Result r = run(args, in, out_to, setup);
	r.left = drain(in);
	close(in);
	waitpid(writer, nullptr, 0);
	return r;
}

// A regular file holding data, at offset 0.
int file_with(const std::string &data)
{
	int fd = temp_file();
	if (write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size()))
		throw std::runtime_error("cannot write the input file");
	lseek(fd, 0, SEEK_SET);
	return fd;
}

// A build whose libcrypt has no crypt_gensalt_rn refuses to make a salt.
std::string cannot_make(const std::string &arg)
{
	return "this libcrypt cannot make a salt for '" + arg + "'; give one";
}

// An error is exactly one line: the program's name and the message.
void expect_error(const Result &r, const std::string &message)
{
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.err, "saltcrypt: " + message + "\n");
}

struct PipeCase {
	const char *name;
	std::vector<std::string> args;
	std::string input;
	// The password expected to be hashed, or for an error its message.
	std::string want;
	bool ok;
	std::string left; // what the next reader of the input must still get
};

const std::string s24(24, 'p');
const std::string huge = std::string(100 * 1024, 'x') + "\nnext\n";
const std::string too_long = "password longer than 24 bytes";

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
	{"OverLongLine", {"ab"}, s24 + "q\nnext\n", too_long, false, "next\n"},
	{"OverLongAtEnd", {"ab"}, s24 + "qq", too_long, false, ""},
	// Draining stops after max_line bytes of the line.
	{"FarOverLongLine", {"ab"}, huge, too_long, false, huge.substr(max_line)},
	{"NulInsideLine", {"ab"}, std::string("a\0b\nnext\n", 9), "password contains a NUL byte", false, "next\n"},
	{"EmptyInput", {"ab"}, "", "no password: standard input is empty", false, ""},
#if HAVE_CRYPT_CHECKSALT // without it, the salt check hashes and refuses this
	{"CryptRejectsSetting", {"$2b$04$abc"}, "password\n", "cannot hash the password: Invalid argument", false, ""},
#endif
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

// The hash after the prompt on standard output, or "" when r failed.
std::string hash_in(const Result &r)
{
	if (r.status != 0 || r.out.rfind(prompt, 0) != 0 || r.out.back() != '\n')
		return "";
	return r.out.substr(prompt.size(), r.out.size() - prompt.size() - 1);
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
		std::string h = hash_in(r);
		ASSERT_EQ(h.size(), 13u) << r.out << r.err;
		EXPECT_EQ(hash_of("secret", h), h) << args.size() << " arguments";
		if (same_second) {
			EXPECT_EQ(h.substr(0, 2), salt) << args.size() << " arguments";
		}
	}
}

// The clock that seeds the generator is read once the password is in: a
// run that waits at the prompt across a second gets that later second's
// salt.
TEST(Saltcrypt, SaltComesFromTheSecondTheReadEnded)
{
	bool same_second = false;
	for (int tries = 0; tries < 3 && !same_second; tries++) {
		int p[2];
		make_pipe(p);
		Child c = start({}, p[0]);
		close(p[0]);
		for (int i = 0; i < 500 && contents(c.out).size() < prompt.size(); i++)
			usleep(10000);
		time_t waited = time(nullptr);
		while (time(nullptr) == waited)
			usleep(10000);
		time_t typed = time(nullptr);
		ASSERT_EQ(write(p[1], "secret\n", 7), 7);
		close(p[1]);
		Result r = finish(c);
		char salt[24] = "";
		generate_salt(salt);
		same_second = time(nullptr) == typed;
		if (same_second) {
			EXPECT_EQ(hash_in(r).substr(0, 2), salt) << r.out << r.err;
		}
	}
	EXPECT_TRUE(same_second) << "every try crossed a second";
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
				  "Print the crypt(3) hash of a password read from standard input.\n";
	struct Option {
		std::string arg;
		std::string out;
	};
	const Option options[] = {
		{"--version", "saltcrypt " SALTCRYPT_VERSION "\n"},
		{"--help", usage},
		{"-h", usage},
	};
	int full = must(open("/dev/full", O_WRONLY), "open /dev/full");
	for (const Option &o : options) {
		Result r = run_piped({o.arg}, "password\n");
		EXPECT_EQ(r.status, 0) << o.arg;
		EXPECT_EQ(r.out, o.out);
		EXPECT_EQ(r.err, "");
		EXPECT_EQ(r.left, "password\n") << o.arg;
		expect_error(run_piped({o.arg}, "", full), "cannot write to standard output: No space left on device");
	}
	close(full);
}

// A bad salt is refused before the prompt, and no input is taken.
TEST(Saltcrypt, RefusesUnusableSaltBeforePrompt)
{
	const std::string usage = "'; usage: saltcrypt [salt]";
	const std::string unsalted = hash_of("pw", "$6$$");
	struct Refusal {
		std::string salt;
		std::string message;
	};
	const Refusal refusals[] = {
		{"", "invalid salt '" + usage},
		{"a", "invalid salt 'a" + usage},
		{"a:", "invalid salt 'a:" + usage},
		{"--help=x", "invalid salt '--help=x" + usage},
		{"-", "invalid salt '-" + usage},
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
#if !HAVE_CRYPT_CHECKSALT // the hash of an empty key finds it out
		{"$2b$04$abc", "invalid salt '$2b$04$abc" + usage},
#endif
	};
	for (const Refusal &f : refusals) {
		Result r = run_piped({f.salt}, "password\n");
		EXPECT_EQ(r.left, "password\n");
		expect_error(r, f.message);
		EXPECT_EQ(r.out, "");
	}
}

// The settings that libcrypt's check lets through and crypt itself
// refuses, as the documents list them: the password has been read by
// then.  Without crypt_checksalt the check is a hash, and refuses them
// before the prompt.
TEST(Saltcrypt, RefusedOnlyWhenHashing)
{
	const std::string einval = "cannot hash the password: Invalid argument";
	const std::string sun_md5 = "$md5$" + std::string(360, 'a') + "$";
	struct Late {
		std::string salt;
		std::string message;
	};
	const Late lates[] = {
		{"$2b$04$abcdefghijklmnopqrstu", einval},
		{"$2b$4$abcdefghijklmnopqrstuv", einval},
		{"$2b$32$abcdefghijklmnopqrstuv", einval},
		{"$y$j$abc", einval},
		{"$y$j9T$abc", einval},
		{"$y$j9T$" + std::string(87, 'a'), einval},
		{"$gy$j9T$aa", einval},
		{"$7$.U..../....aa", einval},
		{"$6$rounds=999$abc", einval},
		{"$5$rounds=1000000000$abc", einval},
		{"$md5,rounds=4294967296$abc", einval},
		{sun_md5, "cannot hash the password: Numerical result out of range"},
		{"_J9..ab", einval},
	};
	for (const Late &l : lates) {
		Result r = run_piped({l.salt}, "pw\n");
		if (HAVE_CRYPT_CHECKSALT) {
			expect_error(r, l.message);
			EXPECT_EQ(r.out, prompt) << l.salt;
		} else if (l.salt.size() <= 40) {
			expect_error(r, "invalid salt '" + l.salt + "'; usage: saltcrypt [salt]");
		} else {
			EXPECT_EQ(r.status, 1) << l.salt;
			EXPECT_EQ(r.out, "") << l.salt;
		}
	}
}

#ifdef DISABLED_CHECKSALT
// A method that the library disables gets a message of its own.  A
// build without crypt_checksalt never asks the library.
TEST(Saltcrypt, NamesADisabledMethod)
{
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
}
#endif

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

// A regular file that cannot seek is read as a pipe is, a byte at a time;
// one whose offset cannot be set back past the newline is an error, not
// a line lost for the next reader.
#ifdef STAND_INS
// In a child about to run the command: preload the stand-ins, and have
// one of them play its part.
void stand_in(const char *name, const char *value)
{
	add_asan_option("verify_asan_link_order=0");
	setenv("LD_PRELOAD", STAND_INS, 1);
	setenv(name, value, 1);
}

void cannot_seek(const char *how)
{
	stand_in("SALTCRYPT_LSEEK", how);
}

TEST(Saltcrypt, FileThatCannotSeek)
{
	int in = file_with("first\nsecond\n");
	Result r = run({"ab"}, in, capture, [] { cannot_seek("never"); });
	EXPECT_EQ(r.out, prompt + hash_of("first", "ab") + "\n") << r.err;
	EXPECT_EQ(drain(in), "second\n");
	close(in);

	in = file_with("first\nsecond\n");
	expect_error(run({"ab"}, in, capture, [] { cannot_seek("back"); }), "cannot read the password: Illegal seek");
	close(in);
}

// A hash with an empty salt is never printed, whatever libcrypt makes of
// a setting.
TEST(Saltcrypt, NeverPrintsAnUnsaltedHash)
{
	Result r = run_piped({"$5$abc$"}, "pw\n", capture, [] {
		stand_in("SALTCRYPT_CRYPT", "$5$rounds=5000$$EPxZX4DoQWu4KoghxUArtr9dmHmQzOXFqq.aJMdG0bA");
	});
	expect_error(r, "cannot hash the password: the hash has no salt");
	EXPECT_EQ(r.out, prompt);
}
#endif

TEST(Saltcrypt, UnusableDescriptors)
{
	int full = open("/dev/full", O_WRONLY);
	int null = open("/dev/null", O_RDONLY);
	int zero = open("/dev/zero", O_RDONLY);
	int dir = open("/", O_RDONLY | O_DIRECTORY);
	ASSERT_GE(full, 0);
	ASSERT_GE(zero, 0);

	// A prompt that cannot be written ends the run before any input is taken.
	Result r = run_piped({"ab"}, "password\n", full);
	expect_error(r, "cannot write to standard output: No space left on device");
	EXPECT_EQ(r.left, "password\n");
	r = run_piped({"ab"}, "password\n", closed);
	expect_error(r, "cannot write to standard output: Bad file descriptor");
	EXPECT_EQ(r.left, "password\n");

	expect_error(run({"ab"}, closed), "cannot read the password: Bad file descriptor");
	expect_error(run({"ab"}, dir), "cannot read the password: Is a directory");
	expect_error(run({"ab"}, null), "no password: standard input is empty");
	expect_error(run({"ab"}, zero), too_long);
	close(full);
	close(null);
	close(zero);
	close(dir);
}

// A file size limit just past the prompt cuts the hash's write short;
// the rest must be tried, and its failure reported.  Standard output
// starts far into its file, so that the limit spares standard error.
TEST(Saltcrypt, ShortWriteIsFinishedOrReported)
{
	const std::string before(100, '#');
	int out = file_with(before);
	lseek(out, 0, SEEK_END);
	Result r = run_piped({"ab"}, "password\n", out, [] {
		const rlimit fsize{100 + prompt.size() + 5, RLIM_INFINITY};
		signal(SIGXFSZ, SIG_IGN);
		setrlimit(RLIMIT_FSIZE, &fsize);
	});
	expect_error(r, "cannot write to standard output: File too large");
	EXPECT_EQ(contents(out), before + prompt + hash_of("password", "ab").substr(0, 5));
	close(out);
}

#ifdef __linux__
// The soft and hard core size limits of process pid.
std::string core_limits(pid_t pid)
{
	std::ifstream in("/proc/" + std::to_string(pid) + "/limits");
	for (std::string line; std::getline(in, line);)
		if (line.rfind("Max core file size", 0) == 0) {
			std::istringstream words(line.substr(18));
			std::string soft, hard;
			words >> soft >> hard;
			return soft + " " + hard;
		}
	return "";
}

// Core dumps are off by the time the password is asked for.
TEST(Saltcrypt, NoCoreDumpAtThePrompt)
{
	rlimit core{};
	getrlimit(RLIMIT_CORE, &core);
	if (core.rlim_max == 0)
		GTEST_SKIP() << "core dumps are off already";
	int p[2];
	make_pipe(p);
	Child c = start({"ab"}, p[0], capture, [] {
		rlimit all{};
		getrlimit(RLIMIT_CORE, &all);
		all.rlim_cur = all.rlim_max;
		setrlimit(RLIMIT_CORE, &all);
	});
	close(p[0]);
	for (int i = 0; i < 500 && contents(c.out).size() < prompt.size(); i++)
		usleep(10000);
	EXPECT_EQ(core_limits(c.pid), "0 0");
	ASSERT_EQ(write(p[1], "pw\n", 3), 3);
	close(p[1]);
	finish(c);
}

// Whether secret stands anywhere in the writable memory of process pid.
bool holds(pid_t pid, const std::string &secret)
{
	std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
	int mem = must(open(("/proc/" + std::to_string(pid) + "/mem").c_str(), O_RDONLY), "open mem");
	bool found = false;
	for (std::string line; !found && std::getline(maps, line);) {
		unsigned long from = 0, to = 0;
		char perms[5] = "";
		if (sscanf(line.c_str(), "%lx-%lx %4s", &from, &to, perms) != 3 || perms[1] != 'w')
			continue;
		// Sanitizer shadow memory is vast and holds no data.
		if (to - from > (64ul << 20))
			continue;
		std::string bytes(to - from, '\0');
		if (pread(mem, &bytes[0], bytes.size(), static_cast<off_t>(from)) > 0)
			found = bytes.find(secret) != std::string::npos;
	}
	close(mem);
	return found;
}

// Runs the command traced, stops it as it exits, and tells whether
// secret is still in its memory then.  in_file reads from a regular file
// rather than a pipe.
bool kept_at_exit(const std::vector<std::string> &args, const std::string &input,
		  bool in_file, void (*setup)(), int &status, const std::string &secret)
{
	pid_t writer = 0;
	int in = in_file ? file_with(input) : feed(input, writer);
	int out = temp_file();
	std::vector<std::string> words = command(args);
	pid_t pid = must(fork(), "fork");
	if (pid == 0) {
		ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
		// LeakSanitizer cannot run in a traced process.
		add_asan_option("detect_leaks=0");
		place(out, 1);
		place(in, 0);
		place(out, 2);
		if (setup != nullptr)
			setup();
		exec(words);
	}
	int st = 0;
	waitpid(pid, &st, 0); // stopped at exec
	ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACEEXIT);
	ptrace(PTRACE_CONT, pid, nullptr, nullptr);
	bool kept = false;
	while (waitpid(pid, &st, 0) == pid && WIFSTOPPED(st)) {
		if (st >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
			kept = holds(pid, secret);
			ptrace(PTRACE_CONT, pid, nullptr, nullptr);
		} else {
			ptrace(PTRACE_CONT, pid, nullptr, WSTOPSIG(st));
		}
	}
	status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
	close(in);
	close(out);
	if (writer != 0)
		waitpid(writer, nullptr, 0);
	return kept;
}

// Nothing of the password is left in the process's memory when it ends,
// whichever way it ends.
TEST(Saltcrypt, PasswordWipedOnEveryExit)
{
	if (getenv("SALTCRYPT_WRAPPER") != nullptr)
		GTEST_SKIP() << "traces the command itself";
	const std::string secret = "Zq7-wipe-me";
	struct Exit {
		const char *how;
		std::vector<std::string> args;
		std::string input;
		bool in_file;
		void (*setup)();
		int status;
	};
	const Exit exits[] = {
		{"hashed", {"$5$abc$"}, secret + "\n", false, nullptr, 0},
		{"over-long line in a file", {"ab"}, std::string(3000, '.') + secret + "\n", true, nullptr, 1},
		{"NUL byte", {"ab"}, secret + std::string("\0\n", 2), false, nullptr, 1},
		{"hash failure", {"$2b$04$abc"}, secret + "\n", false, nullptr, 1},
		{"write failure", {"$5$abc$"}, secret + "\n", false, [] {
			 const rlimit fsize{prompt.size(), RLIM_INFINITY};
			 signal(SIGXFSZ, SIG_IGN);
			 setrlimit(RLIMIT_FSIZE, &fsize);
		 }, 1},
	};
	for (const Exit &e : exits) {
		int status = -1;
		EXPECT_FALSE(kept_at_exit(e.args, e.input, e.in_file, e.setup, status, secret)) << e.how;
		EXPECT_EQ(status, e.status) << e.how;
	}
}
#endif

#if defined(HAVE_PTY_H) || defined(HAVE_UTIL_H) || defined(HAVE_LIBUTIL_H)
// Adds the terminal's output to seen until seen shows want, or five
// seconds pass.
void read_until(int master, std::string &seen, const std::string &want)
{
	char chunk[4096];
	time_t end = time(nullptr) + 5;
	while (seen.find(want) == std::string::npos && time(nullptr) < end) {
		pollfd p{master, POLLIN, 0};
		if (poll(&p, 1, 100) <= 0)
			continue;
		ssize_t r = read(master, chunk, sizeof chunk);
		if (r <= 0)
			break;
		seen.append(chunk, static_cast<size_t>(r));
	}
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
		int master = -1;
		int slave = -1;
		ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
		int in = t.from_file ? file_with(t.line) : slave;
		std::vector<std::string> words = command({"ab"});
		pid_t pid = fork();
		if (pid == 0) {
			setsid();
			ioctl(slave, TIOCSCTTY, 0);
			dup2(in, 0);
			dup2(slave, 1);
			dup2(slave, 2);
			close(master);
			exec(words);
		}
		std::string seen;
		read_until(master, seen, prompt);
		if (!t.from_file) {
			ASSERT_EQ(write(master, t.line.data(), t.line.size()), static_cast<ssize_t>(t.line.size()));
		}
		read_until(master, seen, t.shows);
		int st = 0;
		waitpid(pid, &st, 0);
		EXPECT_EQ(WEXITSTATUS(st), t.status);
		EXPECT_NE(seen.find(t.shows), std::string::npos) << seen;

		int pending = -1;
		ASSERT_EQ(ioctl(slave, FIONREAD, &pending), 0);
		EXPECT_EQ(pending, 0) << "left in the terminal's input";
		if (in != slave)
			close(in);
		close(master);
		close(slave);
	}
}

#endif

} // namespace
