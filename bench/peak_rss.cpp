// kenv_peak_rss PROGRAM [ARGS...]: runs the program (its output thrown away) and prints its
// peak resident set in KiB, exiting with its exit status.
//
// The benchmark cannot take this from its own child: Linux keeps, across exec, the peak of
// the memory the process had before it, and a child of the benchmark starts as a copy of
// the benchmark's hundreds of megabytes. This small program's child starts as a copy of
// almost nothing.
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv) {
  if (argc < 2)
    return 2;
  pid_t pid = fork();
  if (pid < 0)
    return 2;
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execv(argv[1], argv + 1);
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  if (wait4(pid, &status, 0, &usage) != pid)
    return 2;
  std::printf("%ld\n", usage.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 2;
}
