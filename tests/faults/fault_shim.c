/* Fault injection for the native fault scenarios, preloaded into the updater
   (LD_PRELOAD). It acts only in a process whose program name is "updater"
   (or the name given in UPDATER_FAULTS_PROGRAM), so the shells and helper
   programs of a scenario, which inherit the environment, run undisturbed.

   UPDATER_FAULTS holds rules separated by ";":

     brokenpipe       standard error becomes a pipe whose reader is gone
     fsize=BYTES      a file-size limit (RLIMIT_FSIZE) from the start: a
                      write beyond it fails as on a full disk
     user             drops the capabilities by which root ignores
                      permission bits, so that read-only directories and
                      unreadable files act on root as on any user
     trace            prints every hooked call to stderr
     notmpfile        an open of an unnamed file (O_TMPFILE) fails with
                      EOPNOTSUPP, as on a file system without them
     CALL:NAME[@N]>ACTION
                      before the N-th (default first) call CALL whose path's
                      last component is NAME, carries out ACTION once

   CALL is open, opendir, stat, lstat or mkdir; or readdir, whose NAME is an
   entry's name and whose ACTION runs after the entry has been listed and
   before the caller sees it. ACTION is one of
     unlink:PATH          removes a file
     rmtree:PATH          removes a directory with its contents
     dir2file:PATH        replaces a directory tree by a file
     dir2link:PATH:TARGET replaces a directory tree by a symbolic link
     mkfifo:PATH          replaces a file by a named pipe without writer
     rename:FROM:TO       renames
     rewrite:FROM:TO      writes FROM's bytes into TO in place (same inode)
                          and gives TO back its former modification time
     pause:MS             waits MS milliseconds
   Relative paths are relative to the updater's working directory. */
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#define MAX_RULES 16
#define MAX_TEXT 512

struct rule {
  char call[16];
  char name[MAX_TEXT];
  long nth;
  long seen;
  int done;
  char verb[16];
  char arg1[MAX_TEXT];
  char arg2[MAX_TEXT];
};

static struct rule rules[MAX_RULES];
static int rule_count;
static int active;
static int tracing;
static int no_tmpfile;
static __thread int inside; /* an action's own calls are not hooked */

static int (*real_open)(const char*, int, ...);
static int (*real_open64)(const char*, int, ...);
static int (*real_openat)(int, const char*, int, ...);
static int (*real_openat64)(int, const char*, int, ...);
static DIR* (*real_opendir)(const char*);
static struct dirent* (*real_readdir)(DIR*);
static struct dirent64* (*real_readdir64)(DIR*);
static int (*real_stat)(const char*, struct stat*);
static int (*real_stat64)(const char*, struct stat64*);
static int (*real_lstat)(const char*, struct stat*);
static int (*real_lstat64)(const char*, struct stat64*);
static int (*real_mkdir)(const char*, mode_t);

static void resolve(void) {
  static int resolved;
  if (resolved) return;
  resolved = 1;
  real_open = dlsym(RTLD_NEXT, "open");
  real_open64 = dlsym(RTLD_NEXT, "open64");
  real_openat = dlsym(RTLD_NEXT, "openat");
  real_openat64 = dlsym(RTLD_NEXT, "openat64");
  real_opendir = dlsym(RTLD_NEXT, "opendir");
  real_readdir = dlsym(RTLD_NEXT, "readdir");
  real_readdir64 = dlsym(RTLD_NEXT, "readdir64");
  real_stat = dlsym(RTLD_NEXT, "stat");
  real_stat64 = dlsym(RTLD_NEXT, "stat64");
  real_lstat = dlsym(RTLD_NEXT, "lstat");
  real_lstat64 = dlsym(RTLD_NEXT, "lstat64");
  real_mkdir = dlsym(RTLD_NEXT, "mkdir");
}

static void say(const char* format, ...) {
  char line[1024];
  va_list arguments;
  va_start(arguments, format);
  int n = vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  if (n < 0) return;
  if ((size_t)n >= sizeof line) n = sizeof line - 1;
  ssize_t ignored = write(2, line, (size_t)n);
  (void)ignored;
}

static void copy_text(char* out, const char* from, size_t length) {
  if (length >= MAX_TEXT) length = MAX_TEXT - 1;
  memcpy(out, from, length);
  out[length] = 0;
}

/* "CALL:NAME[@N]>VERB:ARG1[:ARG2]" */
static int parse_rule(const char* text, size_t length, struct rule* r) {
  char buffer[3 * MAX_TEXT];
  if (length >= sizeof buffer) return 0;
  memcpy(buffer, text, length);
  buffer[length] = 0;
  char* action = strchr(buffer, '>');
  char* colon = strchr(buffer, ':');
  if (action == NULL || colon == NULL || colon > action) return 0;
  *action++ = 0;
  *colon++ = 0;
  memset(r, 0, sizeof *r);
  copy_text(r->call, buffer, strlen(buffer) < 15 ? strlen(buffer) : 15);
  r->nth = 1;
  char* at = strrchr(colon, '@');
  if (at != NULL) {
    *at++ = 0;
    r->nth = strtol(at, NULL, 10);
  }
  copy_text(r->name, colon, strlen(colon));
  char* arg1 = strchr(action, ':');
  if (arg1 == NULL) return 0;
  *arg1++ = 0;
  copy_text(r->verb, action, strlen(action) < 15 ? strlen(action) : 15);
  char* arg2 = strchr(arg1, ':');
  if (arg2 != NULL) *arg2++ = 0;
  copy_text(r->arg1, arg1, strlen(arg1));
  if (arg2 != NULL) copy_text(r->arg2, arg2, strlen(arg2));
  return 1;
}

static void drop_dac_capabilities(void) {
  struct __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
  struct __user_cap_data_struct data[2];
  memset(data, 0, sizeof data);
  if (syscall(SYS_capget, &header, data) != 0) return;
  const unsigned drop = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
  data[0].effective &= ~drop;
  if (syscall(SYS_capset, &header, data) != 0)
    say("fault_shim: cannot drop capabilities: %s\n", strerror(errno));
}

__attribute__((constructor)) static void start(void) {
  resolve();
  const char* program = getenv("UPDATER_FAULTS_PROGRAM");
  if (program == NULL || *program == 0) program = "updater";
  if (strcmp(program_invocation_short_name, program) != 0) return;
  const char* plan = getenv("UPDATER_FAULTS");
  if (plan == NULL) return;
  active = 1;
  for (const char* p = plan; *p != 0;) {
    const char* end = strchr(p, ';');
    size_t length = end != NULL ? (size_t)(end - p) : strlen(p);
    if (length == 5 && strncmp(p, "trace", 5) == 0) {
      tracing = 1;
    } else if (length == 10 && strncmp(p, "brokenpipe", 10) == 0) {
      int ends[2];
      if (pipe(ends) == 0) {
        close(ends[0]);
        dup2(ends[1], 2);
        close(ends[1]);
      }
    } else if (length == 9 && strncmp(p, "notmpfile", 9) == 0) {
      no_tmpfile = 1;
    } else if (length == 4 && strncmp(p, "user", 4) == 0) {
      drop_dac_capabilities();
    } else if (length > 6 && strncmp(p, "fsize=", 6) == 0) {
      struct rlimit limit;
      limit.rlim_cur = limit.rlim_max = strtoull(p + 6, NULL, 10);
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
        say("fault_shim: setrlimit: %s\n", strerror(errno));
    } else if (length > 0) {
      if (rule_count == MAX_RULES ||
          !parse_rule(p, length, &rules[rule_count])) {
        say("fault_shim: bad rule: %.*s\n", (int)length, p);
      } else {
        ++rule_count;
      }
    }
    p += length;
    if (*p == ';') ++p;
  }
}

static const char* last_component(const char* path) {
  const char* slash = strrchr(path, '/');
  return slash != NULL ? slash + 1 : path;
}

static int remove_tree(const char* path) {
  struct stat st;
  if (real_lstat(path, &st) != 0) return -1;
  if (!S_ISDIR(st.st_mode)) return unlink(path);
  DIR* dir = real_opendir(path);
  if (dir == NULL) return -1;
  struct dirent* entry;
  while ((entry = real_readdir(dir)) != NULL) {
    if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0)
      continue;
    char child[4096];
    snprintf(child, sizeof child, "%s/%s", path, entry->d_name);
    remove_tree(child);
  }
  closedir(dir);
  return rmdir(path);
}

static int rewrite_in_place(const char* from, const char* to) {
  struct stat before;
  if (real_stat(to, &before) != 0) return -1;
  int in = real_open(from, O_RDONLY);
  if (in < 0) return -1;
  int out = real_open(to, O_WRONLY | O_TRUNC);
  if (out < 0) {
    close(in);
    return -1;
  }
  char buffer[65536];
  ssize_t n;
  int rc = 0;
  while ((n = read(in, buffer, sizeof buffer)) > 0) {
    if (write(out, buffer, (size_t)n) != n) rc = -1;
  }
  if (n < 0) rc = -1;
  struct timespec times[2] = {before.st_atim, before.st_mtim};
  if (futimens(out, times) != 0) rc = -1;
  close(in);
  close(out);
  return rc;
}

static void carry_out(struct rule* r) {
  int rc = -1;
  if (strcmp(r->verb, "unlink") == 0) {
    rc = unlink(r->arg1);
  } else if (strcmp(r->verb, "rmtree") == 0) {
    rc = remove_tree(r->arg1);
  } else if (strcmp(r->verb, "dir2file") == 0) {
    rc = remove_tree(r->arg1);
    if (rc == 0) {
      int fd = real_open(r->arg1, O_WRONLY | O_CREAT | O_EXCL, 0644);
      rc = fd < 0 ? -1 : 0;
      if (fd >= 0) {
        if (write(fd, "replaced\n", 9) != 9) rc = -1;
        close(fd);
      }
    }
  } else if (strcmp(r->verb, "dir2link") == 0) {
    rc = remove_tree(r->arg1);
    if (rc == 0) rc = symlink(r->arg2, r->arg1);
  } else if (strcmp(r->verb, "mkfifo") == 0) {
    rc = unlink(r->arg1);
    if (rc == 0) rc = mkfifo(r->arg1, 0644);
  } else if (strcmp(r->verb, "rename") == 0) {
    rc = rename(r->arg1, r->arg2);
  } else if (strcmp(r->verb, "rewrite") == 0) {
    rc = rewrite_in_place(r->arg1, r->arg2);
  } else if (strcmp(r->verb, "pause") == 0) {
    long ms = strtol(r->arg1, NULL, 10);
    struct timespec left = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
    rc = 0;
  } else {
    errno = EINVAL;
  }
  if (rc != 0 || tracing)
    say("fault_shim: %s %s %s: %s\n", r->verb, r->arg1, r->arg2,
        rc == 0 ? "done" : strerror(errno));
}

/* Runs the rules that a call of kind call on name triggers. */
static void trigger(const char* call, const char* name) {
  if (!active || inside || name == NULL) return;
  int saved = errno;
  inside = 1;
  if (tracing) say("fault_shim: %s %s\n", call, name);
  for (int i = 0; i < rule_count; ++i) {
    struct rule* r = &rules[i];
    if (r->done || strcmp(r->call, call) != 0 || strcmp(r->name, name) != 0)
      continue;
    if (++r->seen < r->nth) continue;
    r->done = 1;
    carry_out(r);
  }
  inside = 0;
  errno = saved;
}

static void trigger_path(const char* call, const char* path) {
  if (path != NULL) trigger(call, last_component(path));
}

/* True (errno set) when an open of an unnamed file is to be refused. */
static int refuses_tmpfile(int flags) {
  if (!no_tmpfile || (flags & O_TMPFILE) != O_TMPFILE) return 0;
  errno = EOPNOTSUPP;
  return 1;
}

static mode_t mode_argument(int flags, va_list arguments) {
  return (flags & (O_CREAT | O_TMPFILE)) ? (mode_t)va_arg(arguments, int) : 0;
}

int open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  mode_t mode = mode_argument(flags, arguments);
  va_end(arguments);
  resolve();
  trigger_path("open", path);
  if (refuses_tmpfile(flags)) return -1;
  return real_open(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  mode_t mode = mode_argument(flags, arguments);
  va_end(arguments);
  resolve();
  trigger_path("open", path);
  if (refuses_tmpfile(flags)) return -1;
  return real_open64(path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  mode_t mode = mode_argument(flags, arguments);
  va_end(arguments);
  resolve();
  trigger_path("open", path);
  if (refuses_tmpfile(flags)) return -1;
  return real_openat(dirfd, path, flags, mode);
}

int openat64(int dirfd, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  mode_t mode = mode_argument(flags, arguments);
  va_end(arguments);
  resolve();
  trigger_path("open", path);
  if (refuses_tmpfile(flags)) return -1;
  return real_openat64(dirfd, path, flags, mode);
}

DIR* opendir(const char* path) {
  resolve();
  trigger_path("opendir", path);
  return real_opendir(path);
}

struct dirent* readdir(DIR* dir) {
  resolve();
  struct dirent* entry = real_readdir(dir);
  if (entry != NULL) trigger("readdir", entry->d_name);
  return entry;
}

struct dirent64* readdir64(DIR* dir) {
  resolve();
  struct dirent64* entry = real_readdir64(dir);
  if (entry != NULL) trigger("readdir", entry->d_name);
  return entry;
}

int stat(const char* path, struct stat* st) {
  resolve();
  trigger_path("stat", path);
  return real_stat(path, st);
}

int stat64(const char* path, struct stat64* st) {
  resolve();
  trigger_path("stat", path);
  return real_stat64(path, st);
}

int lstat(const char* path, struct stat* st) {
  resolve();
  trigger_path("lstat", path);
  return real_lstat(path, st);
}

int lstat64(const char* path, struct stat64* st) {
  resolve();
  trigger_path("lstat", path);
  return real_lstat64(path, st);
}

int mkdir(const char* path, mode_t mode) {
  resolve();
  trigger_path("mkdir", path);
  return real_mkdir(path, mode);
}
