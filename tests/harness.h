// SPDX-License-Identifier: MIT
// The end-to-end harness: saltcrypt runs as a child process on input the
// test feeds, and its output is collected.  Expected hashes come from
// libcrypt in this process, never from the command.
#ifndef SALTCRYPT_TESTS_HARNESS_H
#define SALTCRYPT_TESTS_HARNESS_H

#include "platform.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

inline const std::string prompt = "Password to be encrypted: ";
constexpr size_t max_line = 64 * 1024;

// The longest password libcrypt hashes, as it answers, up to the 511
// bytes that saltcrypt takes where libcrypt names no limit.
inline const size_t max_pass = [] {
	size_t n = 511;
	for (const char *h = nullptr; n > 0; n--)
		if ((h = crypt(std::string(n, 'x').c_str(), "ab")) != nullptr && h[0] != '*')
			break;
	return n;
}();
inline const std::string too_long = "password longer than libcrypt's limit of " + std::to_string(max_pass) + " bytes";

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
	for (ssize_t r = 0; (r = read(fd, chunk, sizeof chunk)) > 0;)
		s.append(chunk, static_cast<size_t>(r));
	return s;
}

inline std::string contents(int fd)
{
	return lseek(fd, 0, SEEK_SET) == 0 ? drain(fd) : "";
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

enum class Source { pipe, socket, file, terminal };

// The reading end of a pipe or socket that a writer child fills with
// input and then closes, so that input may exceed what they hold; or a
// file holding it.  A terminal is the terminal test's own.
inline int feed(Source from, const std::string &input, pid_t &writer)
{
	writer = 0;
	if (from == Source::file)
		return file_with(input);
	int p[2] = {-1, -1};
	if (from == Source::pipe)
		make_pipe(p);
	else
		must(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, p), "socketpair");
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

// The command line, behind the words of SALTCRYPT_WRAPPER when set (a
// memory checker, say).
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

// Where a child's standard output goes, besides a descriptor of one's own.
constexpr int capture = -2;

using InChild = void (*)(); // runs in the child just before the command starts

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

inline Child start(const std::vector<std::string> &args, int in, int out_to = capture, InChild setup = nullptr)
{
	Child c{0, out_to == capture ? temp_file() : -1, temp_file()};
	std::vector<std::string> words = command(args);
	c.pid = must(fork(), "fork");
	if (c.pid == 0) {
		dup2(c.err, 2);
		dup2(out_to == capture ? c.out : out_to, 1);
		dup2(in, 0);
		if (setup != nullptr)
			setup();
		exec(words);
	}
	return c;
}

inline Result finish(const Child &c)
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

// Runs the command on input from a pipe, a socket or a file, and keeps
// what it left unread.
inline Result run_on(Source from, const std::vector<std::string> &args, const std::string &input,
		     int out_to = capture, InChild setup = nullptr)
{
	pid_t writer = 0;
	int in = feed(from, input, writer);
	Result r = finish(start(args, in, out_to, setup));
	r.left = drain(in);
	close(in);
	if (writer != 0)
		waitpid(writer, nullptr, 0);
	return r;
}

// The hash after the prompt (or what leads it) on standard output, or ""
// when r failed.
inline std::string hash_in(const Result &r, const std::string &lead = prompt)
{
	if (r.status != 0 || r.out.rfind(lead, 0) != 0 || r.out.back() != '\n')
		return "";
	return r.out.substr(lead.size(), r.out.size() - lead.size() - 1);
}

// An error is exactly one line, the program's name and the message, and
// status 1.
inline void expect_error(const Result &r, const std::string &message)
{
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.err, "saltcrypt: " + message + "\n");
}

// In a child: adds an option for AddressSanitizer to those given.
inline void add_asan_option(const std::string &option)
{
	const char *given = getenv("ASAN_OPTIONS");
	setenv("ASAN_OPTIONS", (std::string(given != nullptr ? given : "") + ":" + option).c_str(), 1);
}

// Reads from fd until n bytes are in or it ends: no deadline, so that a
// slow machine is waited for, and a hang is left to ctest's timeout.
inline std::string read_upto(int fd, size_t n)
{
	std::string s(n, '\0');
	size_t got = 0;
	for (ssize_t r = 0; got < n && (r = read(fd, &s[got], n - got)) > 0;)
		got += static_cast<size_t>(r);
	s.resize(got);
	return s;
}

#endif
