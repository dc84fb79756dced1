// SPDX-License-Identifier: MIT
// What a machine cannot show on demand, played by C library calls that
// the tests preload into saltcrypt (stand_ins.cpp): a clock, a file that
// cannot seek, a libcrypt that errs, signals that interrupt calls, and a
// record of the writes.
#include "harness.h"

#include <poll.h>
#include <sys/syscall.h>

#include <algorithm>

#include <fstream>

namespace {

// In a child: preloads the stand-ins, and sets the variable that has one
// of them play its part.
void stand_in(const char *variable, const std::string &value)
{
#ifdef STAND_INS
	add_asan_option("verify_asan_link_order=0");
	setenv("LD_PRELOAD", STAND_INS, 1);
#endif
	setenv(variable, value.c_str(), 1);
}

std::string record; // the file that the write stand-in records into

// The sizes of the writes recorded, one a line.
std::string recorded()
{
	std::ifstream in(record);
	std::stringstream sizes;
	sizes << in.rdbuf();
	unlink(record.c_str());
	return sizes.str();
}

void record_writes()
{
	stand_in("SALTCRYPT_WRITES", record);
}

// Empty when the stand-ins can be preloaded here, else why not: they can
// where the write stand-in records the writes of saltcrypt --version.
std::string preload_unavailable()
{
#ifdef SALTCRYPT_STATIC
	return "the command is linked statically: nothing can be preloaded into it";
#elif defined(STAND_INS)
	static const std::string why = [] {
		close(temp_file(&record));
		run_on(Source::file, {"--version"}, "", capture, record_writes);
		return recorded().empty() ? "preloading is not possible here" : "";
	}();
	return why;
#else
	return "no C library stand-ins on this platform";
#endif
}

class Preloaded : public testing::Test {
protected:
	void SetUp() override
	{
		if (std::string why = preload_unavailable(); !why.empty())
			GTEST_SKIP() << why;
	}
};

// The prompt goes out in one write, and the hash with its newline in
// another, so that a failure never leaves a whole hash line behind it.
TEST_F(Preloaded, WritesThePromptThenTheHashLine)
{
	close(temp_file(&record));
	Result r = run_on(Source::pipe, {"ab"}, "password\n", capture, record_writes);
	EXPECT_EQ(r.out, prompt + "abJnggxhB/yWI\n");
	EXPECT_EQ(recorded(), "26\n14\n");
}

// A hash with an empty salt is never printed, whatever libcrypt makes of
// a setting.
TEST_F(Preloaded, NeverPrintsAnUnsaltedHash)
{
	Result r = run_on(Source::pipe, {"$5$abc$"}, "pw\n", capture, [] {
		stand_in("SALTCRYPT_CRYPT", "$5$rounds=5000$$EPxZX4DoQWu4KoghxUArtr9dmHmQzOXFqq.aJMdG0bA");
	});
	expect_error(r, "cannot hash the password: the hash has no salt");
	EXPECT_EQ(r.out, prompt);
}

// A regular file that cannot seek is read as a pipe is, a byte at a time;
// one whose offset cannot be set back past the newline is an error, not
// a line lost for the next reader.
TEST_F(Preloaded, FileThatCannotSeek)
{
	int in = file_with("first\nsecond\n");
	Result r = finish(start({"ab"}, in, capture, [] { stand_in("SALTCRYPT_LSEEK", "never"); }));
	EXPECT_EQ(r.out, prompt + hash_of("first", "ab") + "\n") << r.err;
	EXPECT_EQ(drain(in), "second\n");
	close(in);

	r = run_on(Source::file, {"ab"}, "first\nsecond\n", capture, [] { stand_in("SALTCRYPT_LSEEK", "back"); });
	expect_error(r, "cannot read the password: Illegal seek");
}

// The system call that process pid sleeps in, -1 while it runs, or -2
// where that cannot be seen.
long sleeps_in(pid_t pid)
{
	std::ifstream f("/proc/" + std::to_string(pid) + "/syscall");
	std::string first;
	if (!(f >> first))
		return -2;
	return first == "running" ? -1 : strtol(first.c_str(), nullptr, 10);
}

#ifdef SYS_poll
const std::vector<long> waits = {SYS_poll, SYS_ppoll};
#else
const std::vector<long> waits = {SYS_ppoll};
#endif

// Waits, however long it takes, until pid sleeps in one of calls: then
// it has taken all there was to read, or filled all there was room for.
void wait_until_in(pid_t pid, const std::vector<long> &calls)
{
	while (std::find(calls.begin(), calls.end(), sleeps_in(pid)) == calls.end())
		usleep(1000);
}

// The stand-in's reports of the signals that interrupt the command.
int reports[2] = {-1, -1};

void interrupt_often()
{
	stand_in("SALTCRYPT_EINTR", "20," + std::to_string(reports[1]));
}

// Waits for a signal after those reported so far: one that interrupts
// the call the command sleeps in.
void wait_for_a_signal()
{
	char seen[64];
	while (read(reports[0], seen, sizeof seen) > 0) {
	}
	pollfd p{reports[0], POLLIN, 0};
	ASSERT_EQ(poll(&p, 1, -1), 1);
}

// A line that arrives in pieces is still one password, and a caller may
// leave a descriptor non-blocking: the command waits for either as for a
// blocking one.  Standard input gets the rest of the password only once
// the command waits for it, and standard output, full, is read only once
// the command waits to write.  So again with a signal whose handler does
// not restart calls: a wait that a signal interrupts is made again.
TEST(Saltcrypt, WaitsForSlowDescriptors)
{
	if (sleeps_in(getpid()) == -2)
		GTEST_SKIP() << "no /proc/PID/syscall to see the command wait";
	const std::string line = prompt + hash_of("secret", "ab") + "\n";
	const std::string why = preload_unavailable();
	make_pipe(reports);
	fcntl(reports[0], F_SETFL, O_NONBLOCK);
	fcntl(reports[1], F_SETFD, 0);
	for (InChild setup : {InChild(nullptr), InChild(interrupt_often)}) {
		if (setup != nullptr && !why.empty()) {
			close(reports[0]);
			close(reports[1]);
			GTEST_SKIP() << "not with interrupted calls: " << why;
		}
		for (bool blocking : {true, false}) {
			int in[2];
			make_pipe(in);
			fcntl(in[0], F_SETFL, blocking ? 0 : O_NONBLOCK);
			Child c = start({"ab"}, in[0], capture, setup);
			close(in[0]);
			// The non-blocking one ends with no newline.
			ASSERT_EQ(write(in[1], "sec", 3), 3);
			wait_until_in(c.pid, blocking ? std::vector<long>{SYS_read} : waits);
			if (setup != nullptr)
				wait_for_a_signal();
			ASSERT_EQ(write(in[1], "ret\n", blocking ? 4 : 3), blocking ? 4 : 3);
			close(in[1]);
			Result r = finish(c);
			EXPECT_EQ(r.err, "");
			EXPECT_EQ(r.out, line);
		}
		// Interrupted, a write must block; else it waits non-blocking.
		int out[2];
		make_pipe(out);
		fcntl(out[1], F_SETFL, O_NONBLOCK);
		const std::string block(4096, '#');
		size_t full = 0;
		while (write(out[1], block.data(), block.size()) > 0)
			full += block.size();
		ASSERT_EQ(errno, EAGAIN);
		fcntl(out[1], F_SETFL, setup != nullptr ? 0 : O_NONBLOCK);
		int pw = file_with("secret\n");
		Child c = start({"ab"}, pw, out[1], setup);
		close(out[1]);
		wait_until_in(c.pid, setup != nullptr ? std::vector<long>{SYS_write} : waits);
		if (setup != nullptr)
			wait_for_a_signal();
		std::string got = drain(out[0]);
		Result r = finish(c);
		EXPECT_EQ(r.err, "");
		EXPECT_EQ(got.substr(std::min(full, got.size())), line);
		close(out[0]);
		close(pw);
	}
	close(reports[0]);
	close(reports[1]);
}

// A method that the library disables gets a message of its own.  A
// build without crypt_checksalt never asks the library.
TEST_F(Preloaded, NamesADisabledMethod)
{
#ifndef DISABLED_CHECKSALT
	GTEST_SKIP() << "no crypt_checksalt in this libcrypt to stand in for";
#else
	Result r = run_on(Source::pipe, {"$1$abc$"}, "pw\n", capture, [] {
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

// The clock that the command reads: a file holding the seconds, through
// the time stand-in.
std::string clock_file;

void set_clock(const char *seconds)
{
	int fd = must(open(clock_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), "open the clock");
	ASSERT_EQ(write(fd, seconds, strlen(seconds)), static_cast<ssize_t>(strlen(seconds)));
	close(fd);
}

// With no argument, or more than one, the salt comes from the clock, read
// once the password is in: a run that waits at the prompt while the clock
// moves on gets the later second's salt.  The salts that glibc's rand
// gives, 6a at 1000 and Q8 at 2000, were worked out by a separate program
// from the generator's mapping table.
TEST_F(Preloaded, SaltFromTheClockWhenTheReadEnded)
{
	close(temp_file(&clock_file));
	set_clock("1000");
	auto on_the_clock = [] { stand_in("SALTCRYPT_TIME", clock_file); };
	std::vector<std::string> salts;
	for (const std::vector<std::string> &args : {std::vector<std::string>{}, {"ab", "cd"}, {"ab", "cd", "ef"}})
		salts.push_back(hash_in(run_on(Source::pipe, args, "secret\n", capture, on_the_clock)));
	int p[2], o[2];
	make_pipe(p);
	make_pipe(o);
	Child c = start({}, p[0], o[1], on_the_clock);
	close(p[0]);
	close(o[1]);
	ASSERT_EQ(read_upto(o[0], prompt.size()), prompt);
	set_clock("2000");
	ASSERT_EQ(write(p[1], "secret\n", 7), 7);
	close(p[1]);
	Result r = finish(c);
	r.out = prompt + drain(o[0]);
	close(o[0]);
	salts.push_back(hash_in(r));
	unlink(clock_file.c_str());
	for (const std::string &h : salts) {
		ASSERT_EQ(h.size(), 13u);
		EXPECT_EQ(hash_of("secret", h), h);
	}
#ifdef __GLIBC__
	EXPECT_EQ(salts[0].substr(0, 2) + salts[1].substr(0, 2) + salts[2].substr(0, 2) + salts[3].substr(0, 2),
		  "6a6a6aQ8");
#else
	GTEST_SKIP() << "the salts for a clock are known for glibc's rand only";
#endif
}

} // namespace
