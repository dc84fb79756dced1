// SPDX-License-Identifier: MIT
// saltcrypt at a terminal, as a person types at it: what the screen shows
// and what is left for the shell once the command has ended.
#include "harness.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#ifdef OPENPTY_HEADER
#include OPENPTY_HEADER
#endif

#include <ctime>

namespace {

// The command on a pseudo-terminal, its controlling terminal, as its
// standard descriptors; standard input is in instead when that is not -1.
struct Terminal {
	int master = -1;
	int slave = -1;
	pid_t pid = -1;
};

// Empty when the terminal was had, else why not.  Standard output is out
// instead when that is not -1, and the terminal echoes nothing with
// echo_off.
std::string start_on_terminal(const std::vector<std::string> &args, int in, Terminal &t, int out = -1,
				     bool echo_off = false)
{
#ifdef OPENPTY_HEADER
	if (openpty(&t.master, &t.slave, nullptr, nullptr, nullptr) != 0)
		return std::string("no pseudo-terminal: ") + strerror(errno);
	termios mode{};
	if (echo_off && tcgetattr(t.slave, &mode) == 0) {
		mode.c_lflag &= ~static_cast<tcflag_t>(ECHO);
		tcsetattr(t.slave, TCSANOW, &mode);
	}
	std::vector<std::string> words = command(args);
	t.pid = must(fork(), "fork");
	if (t.pid == 0) {
		setsid();
		ioctl(t.slave, TIOCSCTTY, 0);
		dup2(in >= 0 ? in : t.slave, 0);
		dup2(out >= 0 ? out : t.slave, 1);
		dup2(t.slave, 2);
		close(t.master);
		exec(words);
	}
	return "";
#else
	(void)args, (void)in, (void)t, (void)out, (void)echo_off;
	return "no openpty on this platform";
#endif
}

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
	const std::string over(max_pass + 6, 'x');
	const std::string too_long_line = "saltcrypt: " + too_long + "\r\n";
	struct Typed {
		std::string line;
		int status;
		std::string shows;
		bool from_file;      // the line comes from a file, not the keyboard
		bool echo_off = false;
		bool out_to_file = false; // the prompt goes to a file, not the terminal
		bool quiet = false;
	};
	const Typed cases[] = {
		{"secret\n", 0, prompt + "secret\r\n" + hash_of("secret", "ab") + "\r\n", false},
		{over + "\n", 1, prompt + over + "\r\n" + too_long_line, false},
		{std::string(4000, 'x') + "\n", 1, "x\r\n" + too_long_line, false},
		{"\x04", 1, prompt + "\r\nsaltcrypt: no password: standard input is empty\r\n", false},
		{over + "\n", 1, prompt + "\r\n" + too_long_line, true},
		{over + "\n", 1, prompt + "\r\n" + too_long_line, false, true},
		{"\x04", 1, "saltcrypt: no password: standard input is empty\r\n", false, false, true},
		// Ctrl-D ends a password but not its line: the hash starts one.
		{"abc\x04\x04", 0, prompt + "abc\r\n" + hash_of("abc", "ab") + "\r\n", false},
		{"abc\x04\x04", 0, "abc\r\n" + hash_of("abc", "ab") + "\r\n", false, false, false, true},
	};
	for (const Typed &t : cases) {
		int in = t.from_file ? file_with(t.line) : -1;
		int out = t.out_to_file ? temp_file() : -1;
		Terminal term;
		const std::vector<std::string> args = t.quiet ? std::vector<std::string>{"-q", "ab"} : std::vector<std::string>{"ab"};
		if (std::string why = start_on_terminal(args, in, term, out, t.echo_off); !why.empty())
			GTEST_SKIP() << why;
		std::string seen;
		if (!t.out_to_file && !t.quiet)
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
