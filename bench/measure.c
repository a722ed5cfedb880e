/* Runs one program and reports its wall time and peak memory.

   measure RESULT-FILE PROGRAM [ARG...]

   Writes "SECONDS PEAK-KIB EXIT-CODE CPU-SECONDS" to RESULT-FILE. The time
   runs from just before the fork to the reaping of the child; the peak is
   ru_maxrss of the child and the children it waited for, and the processor
   time their user and system time. A small launcher of its own
   keeps the figure honest: a child forked or spawned from a large process
   (the Python driver) starts with that process's resident set as its
   high-water mark. */
#define _GNU_SOURCE
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: measure RESULT-FILE PROGRAM [ARG...]\n");
    return 2;
  }
  struct timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  pid_t pid = fork();
  if (pid < 0) {
    perror("fork");
    return 2;
  }
  if (pid == 0) {
    execvp(argv[2], argv + 2);
    perror(argv[2]);
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  while (wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) {
      perror("wait4");
      return 2;
    }
  }
  clock_gettime(CLOCK_MONOTONIC, &end);
  double seconds = (double)(end.tv_sec - start.tv_sec) +
                   (double)(end.tv_nsec - start.tv_nsec) / 1e9;
  int code = WIFEXITED(status) ? WEXITSTATUS(status)
                               : 128 + WTERMSIG(status);
  FILE* out = fopen(argv[1], "w");
  if (out == NULL) {
    perror(argv[1]);
    return 2;
  }
  double cpu = (double)(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               (double)(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  fprintf(out, "%.9f %ld %d %.6f\n", seconds, usage.ru_maxrss, code, cpu);
  return fclose(out) == 0 ? 0 : 2;
}
