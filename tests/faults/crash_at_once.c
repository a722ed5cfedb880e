/* Test helper of the fault scenarios: dies of SIGSEGV as soon as it
   starts, without leaving a core file behind in its working directory. */
#include <signal.h>
#include <sys/resource.h>

int main(void) {
  struct rlimit none = {0, 0};
  setrlimit(RLIMIT_CORE, &none);
  signal(SIGSEGV, SIG_DFL);
  raise(SIGSEGV);
  return 0;
}
