/* SPDX-License-Identifier: MIT */
/* Runs a command and prints on standard error its peak resident memory
 * in KiB: VmHWM, as the kernel counts it for the command's own image,
 * read as the command exits.  time(1)'s maximum resident size moved by a
 * whole 64 KiB fault-around window between two builds of the C baseline
 * that differ by one call and take the same page faults; this does not. */
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
	(void)argc;
	pid_t pid = fork();
	if (pid == 0) {
		ptrace(PTRACE_TRACEME, 0, NULL, NULL);
		execvp(argv[1], argv + 1);
		_exit(127);
	}
	int st = 0;
	long kb = -1;
	waitpid(pid, &st, 0); /* stopped at the exec */
	ptrace(PTRACE_SETOPTIONS, pid, NULL, PTRACE_O_TRACEEXIT);
	ptrace(PTRACE_CONT, pid, NULL, NULL);
	while (waitpid(pid, &st, 0) == pid && WIFSTOPPED(st)) {
		if (st >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
			char path[64], line[256];
			snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
			FILE *f = fopen(path, "r");
			while (f != NULL && fgets(line, sizeof line, f) != NULL)
				if (sscanf(line, "VmHWM: %ld", &kb) == 1)
					break;
			if (f != NULL)
				fclose(f);
		}
		ptrace(PTRACE_CONT, pid, NULL, WIFSTOPPED(st) && WSTOPSIG(st) != SIGTRAP ? WSTOPSIG(st) : 0);
	}
	fprintf(stderr, "%ld\n", kb);
	return kb < 0;
}
