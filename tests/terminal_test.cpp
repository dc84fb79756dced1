// SPDX-License-Identifier: MIT
// saltcrypt at a terminal, as a person types at it: what the screen shows
// and what is left for the shell once the command has ended.
#include "harness.h"

#include <sys/ioctl.h>
#include <termios.h>
#ifdef OPENPTY_HEADER
#include OPENPTY_HEADER
#endif


namespace {

// The command on a pseudo-terminal, its controlling terminal, as its
// standard descriptors, but for those given otherwise.
struct Terminal {
	int master = -1;
	int slave = -1;
	pid_t pid = -1;
};

// Empty when the terminal was had, else why not.  Standard input, output
// and error are in, out and err instead where those are not -1, and the
// terminal echoes nothing with echo_off.
std::string start_on_terminal(const std::vector<std::string> &args, Terminal &t, int in, int out, int err,
			      bool echo_off)
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
		dup2(err >= 0 ? err : t.slave, 2);
		close(t.master);
		exec(words);
	}
	return "";
#else
	(void)args, (void)t, (void)in, (void)out, (void)err, (void)echo_off;
	return "no openpty on this platform";
#endif
}

// Reads what the terminal shows until seen holds want, or the terminal
// is closed on the command's side: no deadline, so that a slow machine
// is waited for.
void read_screen(int master, std::string &seen, const std::string &want = "")
{
	char chunk[4096];
	for (ssize_t r = 0; (want.empty() || seen.find(want) == std::string::npos) &&
			    (r = read(master, chunk, sizeof chunk)) > 0;)
		seen.append(chunk, static_cast<size_t>(r));
}

enum class To { terminal, file, null };

// At a terminal, nothing of what was typed may be left for the shell to
// read once the command has ended, and neither a message nor a hash
// shares a line with the prompt or typed text whose line is still open
// on the same terminal: that of a typed newline has ended it, Ctrl-D has
// not.  A file or another device gets its bytes exactly.  The terminal
// shows each newline as CR LF; Ctrl-D is \x04.
TEST(Saltcrypt, TerminalKeepsNothingTyped)
{
	const std::string over(max_pass + 6, 'x');
	const std::string too_long_line = "saltcrypt: " + too_long + "\r\n";
	const std::string empty = "saltcrypt: no password: standard input is empty";
	struct Typed {
		std::vector<std::string> args = {"ab"};
		std::string line = ""; // typed, or in a file with from_file
		int status = 0;
		std::string shows = "";    // all that the terminal shows
		To out = To::terminal;     // where standard output goes
		std::string out_file = ""; // what it holds there, when a file
		std::string err_file = ""; // what standard error holds, when a file
		bool from_file = false; // standard input is a file holding the line
		bool echo_off = false;
	};
	const Typed cases[] = {
		{.line = "secret\n", .shows = prompt + "secret\r\n" + hash_of("secret", "ab") + "\r\n"},
		{.line = over + "\n", .status = 1, .shows = prompt + over + "\r\n" + too_long_line},
		{.line = std::string(4000, 'x') + "\n", .status = 1,
		 .shows = prompt + std::string(4000, 'x') + "\r\n" + too_long_line},
		{.line = "\x04", .status = 1, .shows = prompt + "\r\n" + empty + "\r\n"},
		{.line = over + "\n", .status = 1, .shows = prompt + "\r\n" + too_long_line, .from_file = true},
		{.line = over + "\n", .status = 1, .shows = prompt + "\r\n" + too_long_line, .echo_off = true},
		{.line = "\x04", .status = 1, .shows = empty + "\r\n", .out = To::file, .out_file = prompt},
		{.line = "\x04", .status = 1, .shows = empty + "\r\n", .out = To::null},
		// Ctrl-D ends a password but not its line: what follows starts one.
		{.line = "abc\x04\x04", .shows = prompt + "abc\r\n" + hash_of("abc", "ab") + "\r\n"},
		{.line = "abc\x04\x04", .shows = prompt + hash_of("abc", "ab") + "\r\n", .echo_off = true},
		{.args = {"-q", "ab"}, .line = "abc\x04\x04", .shows = "abc\r\n" + hash_of("abc", "ab") + "\r\n"},
		// So does what a failure after it leaves: -q's locked field, and
		// the message.
		{.args = {"-q", "ab"}, .line = over + "\x04\x04", .status = 1, .shows = over + "\r\n*0\r\n" + too_long_line},
		{.args = {"-q", "ab"}, .line = over + "\x04\x04", .status = 1, .shows = over + "\r\n" + too_long_line,
		 .out = To::file, .out_file = "*0\n"},
		{.args = {"-q", "ab"}, .line = over + "\x04\x04", .status = 1, .shows = over, .out = To::file,
		 .out_file = "*0\n", .err_file = "saltcrypt: " + too_long + "\n"},
	};
	for (const Typed &t : cases) {
		SCOPED_TRACE(t.args[0] + " " + t.args.back() + " typing " + t.line.substr(0, 8));
		int in = t.from_file ? file_with(t.line) : -1;
		int out = t.out == To::file ? temp_file() : t.out == To::null ? must(open("/dev/null", O_WRONLY), "null") : -1;
		int err = t.err_file.empty() ? -1 : temp_file();
		Terminal term;
		if (std::string why = start_on_terminal(t.args, term, in, out, err, t.echo_off); !why.empty())
			GTEST_SKIP() << why;
		std::string seen;
		if (t.out == To::terminal && t.args[0] != "-q")
			read_screen(term.master, seen, prompt);
		if (!t.from_file) {
			ASSERT_EQ(write(term.master, t.line.data(), t.line.size()), static_cast<ssize_t>(t.line.size()));
		}
		int st = 0;
		ASSERT_EQ(waitpid(term.pid, &st, 0), term.pid);
		ASSERT_TRUE(WIFEXITED(st)) << "ended by signal " << WTERMSIG(st);
		EXPECT_EQ(WEXITSTATUS(st), t.status);
		int pending = -1;
		ASSERT_EQ(ioctl(term.slave, FIONREAD, &pending), 0);
		EXPECT_EQ(pending, 0) << "left in the terminal's input";
		close(term.slave);
		read_screen(term.master, seen);
		EXPECT_EQ(seen, t.shows);
		if (t.out == To::file) {
			EXPECT_EQ(contents(out), t.out_file);
		}
		if (err >= 0) {
			EXPECT_EQ(contents(err), t.err_file);
		}
		for (int fd : {in, out, err, term.master})
			if (fd >= 0)
				close(fd);
	}
}

} // namespace
