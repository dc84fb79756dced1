// SPDX-License-Identifier: MIT
// Every way saltcrypt ends: its output, descriptors it cannot use, writes
// cut short, and what it leaves behind in memory and on disk.
#include "harness.h"

namespace {

// The prompt goes out in one write, and the hash with its newline in
// another, so that a failure never leaves a whole hash line behind it.
TEST(Saltcrypt, WritesThePromptThenTheHashLine)
{
	if (std::string why = preload_unavailable(); !why.empty())
		GTEST_SKIP() << why;
	static std::string record;
	close(temp_file(&record));
	Result r = run_piped({"ab"}, "password\n", capture, [] { stand_in("SALTCRYPT_WRITES", record); });
	EXPECT_EQ(r.out, prompt + "abJnggxhB/yWI\n");
	std::ifstream in(record);
	std::stringstream sizes;
	sizes << in.rdbuf();
	EXPECT_EQ(sizes.str(), "26\n14\n");
	unlink(record.c_str());
}

// A hash with an empty salt is never printed, whatever libcrypt makes of
// a setting.
TEST(Saltcrypt, NeverPrintsAnUnsaltedHash)
{
	if (std::string why = preload_unavailable(); !why.empty())
		GTEST_SKIP() << why;
	Result r = run_piped({"$5$abc$"}, "pw\n", capture, [] {
		stand_in("SALTCRYPT_CRYPT", "$5$rounds=5000$$EPxZX4DoQWu4KoghxUArtr9dmHmQzOXFqq.aJMdG0bA");
	});
	expect_error(r, "cannot hash the password: the hash has no salt");
	EXPECT_EQ(r.out, prompt);
}

TEST(Saltcrypt, UnusableDescriptors)
{
	int full = open("/dev/full", O_WRONLY);
	if (full < 0)
		GTEST_SKIP() << "no /dev/full: " << strerror(errno);
	int null = must(open("/dev/null", O_RDONLY), "open /dev/null");
	int zero = must(open("/dev/zero", O_RDONLY), "open /dev/zero");
	int dir = must(open("/", O_RDONLY | O_DIRECTORY), "open /");

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
	expect_error(run({"ab"}, zero), "password contains a NUL byte");
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
	Result r = run_piped({"ab"}, "password\n", out, [] { cut_writes_at(100 + prompt.size() + 5); });
	expect_error(r, "cannot write to standard output: File too large");
	EXPECT_EQ(contents(out), before + prompt + hash_of("password", "ab").substr(0, 5));
	close(out);
}

// The soft and hard core size limits of process pid, or "" when they
// cannot be read.
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
		GTEST_SKIP() << "core dumps are off already: the hard limit is 0";
	if (core_limits(getpid()).empty())
		GTEST_SKIP() << "no /proc/PID/limits to read the limits from";
	int p[2];
	make_pipe(p);
	Child c = start({"ab"}, p[0], capture, [] {
		rlimit all{};
		getrlimit(RLIMIT_CORE, &all);
		all.rlim_cur = all.rlim_max;
		setrlimit(RLIMIT_CORE, &all);
	});
	close(p[0]);
	EXPECT_TRUE(wait_for_prompt(c));
	EXPECT_EQ(core_limits(c.pid), "0 0");
	ASSERT_EQ(write(p[1], "pw\n", 3), 3);
	close(p[1]);
	finish(c);
}

void cut_writes_after_prompt()
{
	cut_writes_at(prompt.size());
}

// Nothing of the password is left in the process's memory when it ends,
// whichever way it ends.
TEST(Saltcrypt, PasswordWipedOnEveryExit)
{
	if (getenv("SALTCRYPT_WRAPPER") != nullptr)
		GTEST_SKIP() << "traces the command itself, not a wrapper";
	if (std::string why = ptrace_unavailable(); !why.empty())
		GTEST_SKIP() << why;
	const std::string secret = "Zq7-wipe-me";
	struct Exit {
		const char *how;
		std::vector<std::string> args;
		std::string input;
		Source from;
		InChild setup;
		int status;
	};
	const Exit exits[] = {
		{"hashed", {"$5$abc$"}, secret + "\n", Source::pipe, nullptr, 0},
		{"hashed by md5crypt, which leaves it on the stack", {"$1$abc$"}, secret + "\n", Source::pipe, nullptr, 0},
		{"over-long line in a file", {"ab"}, std::string(3000, '.') + secret + "\n", Source::file, nullptr, 1},
		{"NUL byte", {"ab"}, secret + std::string("\0\n", 2), Source::pipe, nullptr, 1},
		{"hash failure", {"$y$jZT$F5Jx5fExrKuPp53xLKQ..1"}, secret + "\n", Source::pipe, nullptr, 1},
		{"longest password", {"$5$abc$"}, std::string(max_pass - secret.size(), 'p') + secret + "\n", Source::pipe,
		 nullptr, 0},
		{"write failure", {"$5$abc$"}, secret + "\n", Source::pipe, cut_writes_after_prompt, 1},
	};
	for (const Exit &e : exits) {
		Trace t = trace_to_exit(e.args, e.input, e.from, e.setup, secret);
		ASSERT_TRUE(t.stopped_at_exit) << e.how << ": the command was not stopped at its exit";
		ASSERT_GT(t.bytes_read, 0u) << e.how << ": none of the command's memory could be read";
		EXPECT_FALSE(t.found) << e.how;
		EXPECT_EQ(t.status, e.status) << e.how;
	}
}

} // namespace
