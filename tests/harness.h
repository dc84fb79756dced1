// SPDX-License-Identifier: MIT
// The end-to-end harness: saltcrypt runs as a child process with its
// standard descriptors on pipes, sockets, files, devices or a
// pseudo-terminal.  Expected hashes come from libcrypt in this process,
// never from the command.
#ifndef SALTCRYPT_TESTS_HARNESS_H
#define SALTCRYPT_TESTS_HARNESS_H

#include "platform.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/ptrace.h>
#endif
#if defined(HAVE_PTY_H)
#include <pty.h>
#elif defined(HAVE_UTIL_H)
#include <util.h>
#elif defined(HAVE_LIBUTIL_H)
#include <libutil.h>
#endif

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

inline const std::string prompt = "Password to be encrypted: ";
constexpr size_t max_line = 64 * 1024;

// The longest password libcrypt hashes, as it answers, up to the 511
// bytes that saltcrypt takes where libcrypt names no limit.
inline const size_t max_pass = [] {
	size_t lo = 0, hi = 511;
	while (lo < hi) {
		size_t mid = (lo + hi + 1) / 2;
		const char *h = crypt(std::string(mid, 'x').c_str(), "ab");
		if (h != nullptr && h[0] != '*')
			lo = mid;
		else
			hi = mid - 1;
	}
	return lo;
}();
inline const std::string too_long = "password longer than libcrypt's limit of " + std::to_string(max_pass) + " bytes";

// Where a child's standard output goes, besides a descriptor of one's own.
constexpr int closed = -1;
constexpr int capture = -2;

// Runs in the child just before the command starts.
using InChild = void (*)();

// A child that ends before reading all its input must fail a test, not
// kill the runner that feeds it.
inline const bool sigpipe_ignored = signal(SIGPIPE, SIG_IGN) != SIG_ERR;

// The harness cannot go on without its pipes, files and children.
inline int must(int r, const char *what)
{
	if (r < 0)
		throw std::runtime_error(std::string(what) + ": " + strerror(errno));
	return r;
}

inline std::string hash_of(const std::string &pass, const std::string &salt)
{
	const char *h = crypt(pass.c_str(), salt.c_str());
	return h != nullptr ? h : "";
}

// A temporary file of one's own, and its path.
inline int temp_file(std::string *path = nullptr)
{
	char name[] = "/tmp/saltcrypt-test-XXXXXX";
	int fd = must(mkstemp(name), "mkstemp");
	if (path != nullptr)
		*path = name;
	else
		unlink(name);
	return fd;
}

// Everything from fd's current offset, or a pipe's remaining bytes.
inline std::string drain(int fd)
{
	std::string s;
	char chunk[4096];
	ssize_t r = 0;
	while ((r = read(fd, chunk, sizeof chunk)) > 0)
		s.append(chunk, static_cast<size_t>(r));
	return s;
}

inline std::string contents(int fd)
{
	lseek(fd, 0, SEEK_SET);
	return drain(fd);
}

// A regular file of no name holding data, at offset 0.
inline int file_with(const std::string &data)
{
	int fd = temp_file();
	if (write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size()))
		throw std::runtime_error("cannot write the input file");
	lseek(fd, 0, SEEK_SET);
	return fd;
}

// A pipe whose ends no child inherits but as a standard descriptor: a
// command that held the write end would never see the end of its input.
inline void make_pipe(int (&p)[2])
{
	must(pipe(p), "pipe");
	fcntl(p[0], F_SETFD, FD_CLOEXEC);
	fcntl(p[1], F_SETFD, FD_CLOEXEC);
}

// Sets a standard descriptor to fd, or closes it.
inline void place(int fd, int target)
{
	if (fd == closed)
		close(target);
	else if (fd != target)
		dup2(fd, target);
}

enum class Source { pipe, socket, file };

inline void PrintTo(Source from, std::ostream *os)
{
	const char *const names[] = {"pipe", "socket", "file"};
	*os << names[static_cast<int>(from)];
}

// The reading end of a pipe or socket whose other end a writer child
// fills with input and then closes, so that input may exceed what they
// hold; or a file holding it.
inline int feed(Source from, const std::string &input, pid_t &writer)
{
	writer = 0;
	if (from == Source::file)
		return file_with(input);
	int p[2] = {-1, -1};
	if (from == Source::socket)
		must(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, p), "socketpair");
	else
		make_pipe(p);
	writer = must(fork(), "fork");
	if (writer == 0) {
		close(p[0]);
		for (size_t done = 0; done < input.size();) {
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

// The command line for the command, behind the words of SALTCRYPT_WRAPPER
// when set (a memory checker, say).
inline std::vector<std::string> command(const std::vector<std::string> &args)
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

[[noreturn]] inline void exec(const std::vector<std::string> &words)
{
	std::vector<char *> argv;
	for (const std::string &w : words)
		argv.push_back(const_cast<char *>(w.c_str()));
	argv.push_back(nullptr);
	execvp(argv[0], argv.data());
	_exit(127);
}

struct Child {
	pid_t pid;
	int out; // captured standard output, or -1 when redirected
	int err;
};

struct Result {
	int status; // the exit status, or 128 and the signal
	std::string out;
	std::string err;
	std::string left; // input left unread, for run_on
};

inline Child start(const std::vector<std::string> &args, int in, int out_to = capture,
		   InChild setup = nullptr)
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

inline int status_of(int st)
{
	return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

inline Result finish(const Child &c)
{
	int st = 0;
	waitpid(c.pid, &st, 0);
	Result r{status_of(st), "", contents(c.err), ""};
	if (c.out >= 0) {
		r.out = contents(c.out);
		close(c.out);
	}
	close(c.err);
	return r;
}

inline Result run(const std::vector<std::string> &args, int in, int out_to = capture, InChild setup = nullptr)
{
	return finish(start(args, in, out_to, setup));
}

// Runs the command with input from a pipe, a socket or a file, and keeps
// what it left unread.
inline Result run_on(Source from, const std::vector<std::string> &args, const std::string &input,
		     int out_to = capture, InChild setup = nullptr)
{
	pid_t writer = 0;
	int in = feed(from, input, writer);
	Result r = run(args, in, out_to, setup);
	r.left = drain(in);
	close(in);
	if (writer != 0)
		waitpid(writer, nullptr, 0);
	return r;
}

inline Result run_piped(const std::vector<std::string> &args, const std::string &input,
			int out_to = capture, InChild setup = nullptr)
{
	return run_on(Source::pipe, args, input, out_to, setup);
}

// What saltcrypt says when libcrypt refuses a setting only once the
// password is in.
inline std::string cannot_hash(const std::string &setting)
{
	return "libcrypt cannot hash with the setting '" + setting + "'";
}

// The hash after the prompt on standard output, or "" when r failed.
inline std::string hash_in(const Result &r)
{
	if (r.status != 0 || r.out.rfind(prompt, 0) != 0 || r.out.back() != '\n')
		return "";
	return r.out.substr(prompt.size(), r.out.size() - prompt.size() - 1);
}

// An error is exactly one line, the program's name and the message, and
// status 1.
inline void expect_error(const Result &r, const std::string &message)
{
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.err, "saltcrypt: " + message + "\n");
}

// What a build whose libcrypt has no crypt_gensalt_rn says for arg.
inline std::string cannot_make(const std::string &arg)
{
	return "this libcrypt cannot make a salt for '" + arg + "'; give one";
}

// Waits up to five seconds for the prompt on a captured standard output.
inline bool wait_for_prompt(const Child &c)
{
	for (int i = 0; i < 500; i++) {
		struct stat st {};
		if (fstat(c.out, &st) == 0 && static_cast<size_t>(st.st_size) >= prompt.size())
			return true;
		usleep(10000);
	}
	return false;
}

// In a child: adds an option for AddressSanitizer to those given.
inline void add_asan_option(const std::string &option)
{
	const char *given = getenv("ASAN_OPTIONS");
	setenv("ASAN_OPTIONS", (std::string(given != nullptr ? given : "") + ":" + option).c_str(), 1);
}

// In a child: writes to a regular file stop at bytes, and one past it
// fails with EFBIG, so that a write is cut short for real.
inline void cut_writes_at(rlim_t bytes)
{
	rlimit fsize{};
	getrlimit(RLIMIT_FSIZE, &fsize);
	fsize.rlim_cur = bytes;
	signal(SIGXFSZ, SIG_IGN);
	setrlimit(RLIMIT_FSIZE, &fsize);
}

// In a child: preloads the C library stand-ins (tests/stand_ins.cpp), and
// has the one that variable name names play its part.
inline void stand_in(const char *name, const std::string &value)
{
#ifdef STAND_INS
	add_asan_option("verify_asan_link_order=0");
	setenv("LD_PRELOAD", STAND_INS, 1);
#endif
	setenv(name, value.c_str(), 1);
}

// Empty when the stand-ins can be preloaded here, else why not: they can
// where the write stand-in records the writes of saltcrypt --version.
inline std::string preload_unavailable()
{
#ifdef STAND_INS
	static const std::string why = [] {
		static std::string record;
		close(temp_file(&record));
		int null = must(open("/dev/null", O_RDONLY), "open /dev/null");
		run({"--version"}, null, capture, [] { stand_in("SALTCRYPT_WRITES", record); });
		close(null);
		std::ifstream in(record);
		std::string first;
		std::getline(in, first);
		unlink(record.c_str());
		return first.empty() ? std::string("preloading is not possible here") : std::string();
	}();
	return why;
#else
	return "no C library stand-ins on this platform";
#endif
}

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
inline std::string start_on_terminal(const std::vector<std::string> &args, int in, Terminal &t, int out = -1,
				     bool echo_off = false)
{
#if defined(HAVE_PTY_H) || defined(HAVE_UTIL_H) || defined(HAVE_LIBUTIL_H)
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
inline void read_until(int master, std::string &seen, const std::string &want)
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

// What a search of the command's memory at its exit saw.
struct Trace {
	bool stopped_at_exit = false;
	size_t bytes_read = 0; // of its writable memory
	bool found = false;
	int status = -1;
};

#ifdef __linux__
// Empty when ptrace works here, else why not.
inline std::string ptrace_unavailable()
{
	pid_t pid = must(fork(), "fork");
	if (pid == 0)
		_exit(ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) == 0 ? 0 : errno);
	int st = 0;
	waitpid(pid, &st, 0);
	int error = WIFEXITED(st) ? WEXITSTATUS(st) : EINVAL;
	return error == 0 ? "" : std::string("ptrace unavailable: ") + strerror(error);
}

// Searches the writable memory of process pid for secret.
inline void search(pid_t pid, const std::string &secret, Trace &t)
{
	std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
	int mem = open(("/proc/" + std::to_string(pid) + "/mem").c_str(), O_RDONLY);
	for (std::string line; mem >= 0 && !t.found && std::getline(maps, line);) {
		unsigned long from = 0, to = 0;
		char perms[5] = "";
		if (sscanf(line.c_str(), "%lx-%lx %4s", &from, &to, perms) != 3 || perms[1] != 'w')
			continue;
		// Sanitizer shadow memory is vast and holds no data.
		if (to - from > (64ul << 20))
			continue;
		std::string bytes(to - from, '\0');
		ssize_t r = pread(mem, &bytes[0], bytes.size(), static_cast<off_t>(from));
		if (r > 0) {
			t.bytes_read += static_cast<size_t>(r);
			t.found = bytes.find(secret) != std::string::npos;
		}
	}
	if (mem >= 0)
		close(mem);
}

// Runs the command traced, stops it as it exits, and searches its memory
// for secret then.
inline Trace trace_to_exit(const std::vector<std::string> &args, const std::string &input, Source from,
			   InChild setup, const std::string &secret)
{
	pid_t writer = 0;
	int in = feed(from, input, writer);
	int out = temp_file();
	std::vector<std::string> words = command(args);
	pid_t pid = must(fork(), "fork");
	if (pid == 0) {
		if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0)
			_exit(126);
		// LeakSanitizer cannot run in a traced process.  A sanitizer's
		// runtime is bound lazily, and the dynamic linker's trampoline
		// would spill registers that still hold password bytes onto the
		// stack at exit; saltcrypt and libcrypt are bound at start-up.
		add_asan_option("detect_leaks=0");
		setenv("LD_BIND_NOW", "1", 1);
		place(out, 1);
		place(in, 0);
		place(out, 2);
		if (setup != nullptr)
			setup();
		exec(words);
	}
	Trace t;
	int st = 0;
	waitpid(pid, &st, 0); // stopped at exec
	ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACEEXIT);
	ptrace(PTRACE_CONT, pid, nullptr, nullptr);
	while (waitpid(pid, &st, 0) == pid && WIFSTOPPED(st)) {
		if (st >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
			t.stopped_at_exit = true;
			search(pid, secret, t);
			ptrace(PTRACE_CONT, pid, nullptr, nullptr);
		} else {
			ptrace(PTRACE_CONT, pid, nullptr, WSTOPSIG(st));
		}
	}
	t.status = status_of(st);
	close(in);
	close(out);
	if (writer != 0)
		waitpid(writer, nullptr, 0);
	return t;
}
#else
inline std::string ptrace_unavailable()
{
	return "no ptrace memory search on this platform";
}

inline Trace trace_to_exit(const std::vector<std::string> &, const std::string &, Source, InChild,
			   const std::string &)
{
	return {};
}
#endif

#endif
