// SPDX-License-Identifier: MIT
// Every way saltcrypt ends: descriptors it cannot use, writes cut short,
// and what it leaves behind in memory and on disk.
#include "harness.h"
#include "messages.h"

#include <sys/resource.h>
#ifdef __linux__
#include <sys/ptrace.h>
#endif

#include <fstream>

namespace {

// Standard descriptors that cannot be used.  A prompt that cannot be
// written ends the run before any input is taken, and so does a failed
// answer to an option.
TEST(Saltcrypt, UnusableDescriptors)
{
	int full = open("/dev/full", O_WRONLY);
	if (full < 0)
		GTEST_SKIP() << "no /dev/full: " << strerror(errno);
	const std::string no_space = "cannot write to standard output: No space left on device";
	for (const char *arg : {"ab", "--version", "--help"}) {
		Result r = run_on(Source::pipe, {arg}, "password\n", full);
		expect_error(r, no_space);
		EXPECT_EQ(r.left, "password\n") << arg;
	}
	// A locked field that cannot be written hides no error of -q's.
	expect_error(run_on(Source::pipe, {"-q", "a:"}, "password\n", full), "invalid salt 'a:'; " + usage_line);
	// A descriptor open for the other direction cannot be written, nor
	// read, and no preloaded library that opens a file can take its place.
	int read_only = must(open("/dev/null", O_RDONLY), "/dev/null");
	Result r = run_on(Source::pipe, {"ab"}, "password\n", read_only);
	expect_error(r, "cannot write to standard output: Bad file descriptor");
	EXPECT_EQ(r.left, "password\n");
	close(read_only);

	// A reader that went away ends the run by SIGPIPE, as for any filter.
	int p[2];
	make_pipe(p);
	close(p[0]);
	r = run_on(Source::pipe, {"ab"}, "password\n", p[1], [] { signal(SIGPIPE, SIG_DFL); });
	EXPECT_EQ(r.status, 128 + SIGPIPE);
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.left, "password\n");
	close(p[1]);

	struct Device {
		const char *path;
		int flags;
		std::string said;
	};
	const Device devices[] = {
		{"/dev/null", O_RDONLY, "no password: standard input is empty"},
		{"/dev/zero", O_RDONLY, "password contains a NUL byte"},
		{"/", O_RDONLY | O_DIRECTORY, "cannot read the password: Is a directory"},
	};
	for (const Device &d : devices) {
		int in = must(open(d.path, d.flags), d.path);
		expect_error(finish(start({"ab"}, in)), d.said);
		close(in);
	}
	int write_only = must(open("/dev/null", O_WRONLY), "/dev/null");
	expect_error(finish(start({"ab"}, write_only)), "cannot read the password: Bad file descriptor");
	close(write_only);
	close(full);
}

// In a child: writes to a regular file stop at bytes, and one past it
// fails with EFBIG, so that a write is cut short for real.
void cut_writes_at(rlim_t bytes)
{
	rlimit fsize{};
	getrlimit(RLIMIT_FSIZE, &fsize);
	fsize.rlim_cur = bytes;
	signal(SIGXFSZ, SIG_IGN);
	setrlimit(RLIMIT_FSIZE, &fsize);
}

// A file size limit just past the prompt cuts the hash's write short;
// the rest must be tried, and its failure reported.  Standard output
// starts far into its file, so that the limit spares standard error.
TEST(Saltcrypt, ShortWriteIsFinishedOrReported)
{
	const std::string before(100, '#');
	int out = file_with(before);
	lseek(out, 0, SEEK_END);
	Result r = run_on(Source::pipe, {"ab"}, "password\n", out, [] { cut_writes_at(100 + prompt.size() + 5); });
	expect_error(r, "cannot write to standard output: File too large");
	EXPECT_EQ(contents(out), before + prompt + hash_of("password", "ab").substr(0, 5));
	close(out);
}

#ifdef __linux__
// Core dumps are off by the time the password is asked for.
TEST(Saltcrypt, NoCoreDumpAtThePrompt)
{
	rlimit core{};
	getrlimit(RLIMIT_CORE, &core);
	if (core.rlim_max == 0)
		GTEST_SKIP() << "core dumps are off already: the hard limit is 0";
	int p[2], o[2];
	make_pipe(p);
	make_pipe(o);
	Child c = start({"ab"}, p[0], o[1], [] {
		rlimit all{};
		getrlimit(RLIMIT_CORE, &all);
		all.rlim_cur = all.rlim_max;
		setrlimit(RLIMIT_CORE, &all);
	});
	close(p[0]);
	close(o[1]);
	ASSERT_EQ(read_upto(o[0], prompt.size()), prompt);
	rlimit seen{1, 1};
	EXPECT_EQ(prlimit(c.pid, RLIMIT_CORE, nullptr, &seen), 0) << strerror(errno);
	EXPECT_EQ(seen.rlim_cur, 0u);
	EXPECT_EQ(seen.rlim_max, 0u);
	ASSERT_EQ(write(p[1], "pw\n", 3), 3);
	close(p[1]);
	EXPECT_EQ(finish(c).status, 0);
	close(o[0]);
}

// Empty when ptrace works here, else why not.
std::string ptrace_unavailable()
{
	pid_t pid = must(fork(), "fork");
	if (pid == 0)
		_exit(ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) == 0 ? 0 : errno);
	int st = 0;
	waitpid(pid, &st, 0);
	int error = WIFEXITED(st) ? WEXITSTATUS(st) : EINVAL;
	return error == 0 ? "" : std::string("ptrace unavailable: ") + strerror(error);
}

// The writable memory of process pid that could be read, and whether it
// holds secret.
std::pair<size_t, bool> search(pid_t pid, const std::string &secret)
{
	std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
	int mem = must(open(("/proc/" + std::to_string(pid) + "/mem").c_str(), O_RDONLY), "open its memory");
	size_t read = 0;
	bool found = false;
	for (std::string line; !found && std::getline(maps, line);) {
		unsigned long from = 0, to = 0;
		char perms[5] = "";
		// Sanitizer shadow memory is vast and holds no data.
		if (sscanf(line.c_str(), "%lx-%lx %4s", &from, &to, perms) != 3 || perms[1] != 'w' ||
		    to - from > (64ul << 20))
			continue;
		std::string bytes(to - from, '\0');
		ssize_t r = pread(mem, &bytes[0], bytes.size(), static_cast<off_t>(from));
		read += r > 0 ? static_cast<size_t>(r) : 0;
		found = r > 0 && bytes.find(secret) != std::string::npos;
	}
	close(mem);
	return {read, found};
}

InChild also; // what a case sets up in the child besides the tracing

// Nothing of the password is left in the process's memory when it ends,
// whichever way it ends: the command is traced, stopped as it exits, and
// its memory searched then.
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
		{"longest password", {"$5$abc$"}, std::string(max_pass - secret.size(), 'p') + secret + "\n", Source::pipe,
		 nullptr, 0},
		{"over-long line in a file", {"ab"}, std::string(3000, '.') + secret + "\n", Source::file, nullptr, 1},
		{"NUL byte", {"ab"}, secret + std::string("\0\n", 2), Source::pipe, nullptr, 1},
		{"hash failure", {"$y$jZT$F5Jx5fExrKuPp53xLKQ..1"}, secret + "\n", Source::pipe, nullptr, 1},
		{"write failure", {"$5$abc$"}, secret + "\n", Source::pipe, [] { cut_writes_at(prompt.size()); }, 1},
	};
	for (const Exit &e : exits) {
		pid_t writer = 0;
		int in = feed(e.from, e.input, writer);
		also = e.setup;
		Child c = start(e.args, in, capture, [] {
			// LeakSanitizer cannot run in a traced process.  A sanitizer's
			// runtime is bound lazily, and the dynamic linker's trampoline
			// would spill registers that still hold password bytes onto
			// the stack at exit; saltcrypt and libcrypt are bound at
			// start-up.
			ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
			add_asan_option("detect_leaks=0");
			setenv("LD_BIND_NOW", "1", 1);
			if (also != nullptr)
				also();
		});
		std::pair<size_t, bool> seen{0, false};
		bool stopped = false;
		int st = 0;
		waitpid(c.pid, &st, 0); // at the exec
		ptrace(PTRACE_SETOPTIONS, c.pid, nullptr, PTRACE_O_TRACEEXIT);
		ptrace(PTRACE_CONT, c.pid, nullptr, nullptr);
		while (waitpid(c.pid, &st, 0) == c.pid && WIFSTOPPED(st)) {
			bool exiting = st >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8));
			if (exiting)
				seen = search(c.pid, secret);
			stopped = stopped || exiting;
			ptrace(PTRACE_CONT, c.pid, nullptr, exiting ? 0 : WSTOPSIG(st));
		}
		for (int fd : {in, c.out, c.err})
			close(fd);
		if (writer != 0)
			waitpid(writer, nullptr, 0);
		ASSERT_TRUE(stopped) << e.how << ": the command was not stopped at its exit";
		ASSERT_GT(seen.first, 0u) << e.how << ": none of the command's memory could be read";
		EXPECT_FALSE(seen.second) << e.how;
		EXPECT_EQ(WIFEXITED(st) ? WEXITSTATUS(st) : -1, e.status) << e.how;
	}
}
#else
TEST(Saltcrypt, PasswordWipedOnEveryExit)
{
	GTEST_SKIP() << "no ptrace memory search on this platform";
}

TEST(Saltcrypt, NoCoreDumpAtThePrompt)
{
	GTEST_SKIP() << "no prlimit to read another process's limits on this platform";
}
#endif

} // namespace
