// Finding a running program by its executable: the processes of /proc in
// ascending id order, each compared by the full path of its executable
// (/proc/PID/exe), or by its short name (/proc/PID/comm) where the
// executable cannot be read (another user's process, a zombie, a kernel
// thread). ASCII case is ignored; all other bytes compare exactly.
#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/str_buf.h"
#include "platform/posix/posix_platform.h"

namespace {

// What the kernel appends to the link of an executable that was removed or
// replaced after it started.
constexpr char kDeletedSuffix[] = " (deleted)";

// Texts equal but for the case of ASCII letters, as the engine compares.
bool SameText(const std::string& a, const std::string& b, const CodePage& cp) {
  return a.size() == b.size() &&
         cp.SameIgnoringAsciiCase(a.c_str(), b.c_str(), a.size());
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

// The ids of all processes, ascending.
std::vector<pid_t> ListProcesses() {
  std::vector<pid_t> ids;
  std::unique_ptr<DIR, DirCloser> dir(opendir("/proc"));
  if (!dir) return ids;
  while (dirent* entry = readdir(dir.get())) {
    const char* p = entry->d_name;
    if (*p == '\0') continue;
    long id = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
      id = id * 10 + (*p - '0');
      if (id > INT_MAX) break;
    }
    if (*p != '\0' || id <= 0) continue;
    ids.push_back(static_cast<pid_t>(id));
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

// The target of a symbolic link, however long; false when it cannot be read.
bool ReadLink(const std::string& path, std::string& target) {
  std::vector<char> buffer(256);
  for (;;) {
    ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
    if (n < 0) return false;
    if (static_cast<size_t>(n) < buffer.size()) {
      target.assign(buffer.data(), static_cast<size_t>(n));
      return true;
    }
    if (buffer.size() >= 1u << 20) return false;
    buffer.resize(buffer.size() * 2);
  }
}

// The short name of a process, without the line end.
bool ReadComm(const std::string& path, std::string& name) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char buffer[64];
  size_t n = std::fread(buffer, 1, sizeof buffer, file);
  std::fclose(file);
  name.assign(buffer, n);
  while (!name.empty() && name.back() == '\n') name.pop_back();
  return !name.empty();
}

}  // namespace

uint32_t PosixPlatform::FindProcessId(const char* name) {
  if (name == nullptr) return 0;
  const std::string wanted = name;
  // An absolute name is also tried with its links resolved, since the
  // kernel reports the executable by its resolved path (/bin/sh may run as
  // /usr/bin/dash).
  std::string resolved;
  if (wanted.size() > 1 && wanted[0] == '/') {
    if (char* real = realpath(name, nullptr)) {
      resolved = real;
      free(real);
    }
  }
  auto matches = [&](const std::string& text) {
    return SameText(text, wanted, codePage_) ||
           (!resolved.empty() && SameText(text, resolved, codePage_));
  };

  const pid_t self = getpid();
  for (pid_t id : ListProcesses()) {
    if (id == self) continue;
    const std::string base = "/proc/" + std::to_string(id);
    std::string exe;
    if (ReadLink(base + "/exe", exe)) {
      if (matches(exe)) return static_cast<uint32_t>(id);
      const size_t suffix = sizeof kDeletedSuffix - 1;
      if (exe.size() > suffix &&
          exe.compare(exe.size() - suffix, suffix, kDeletedSuffix) == 0 &&
          matches(exe.substr(0, exe.size() - suffix)))
        return static_cast<uint32_t>(id);
      continue;
    }
    std::string comm;
    if (ReadComm(base + "/comm", comm) && SameText(comm, wanted, codePage_))
      return static_cast<uint32_t>(id);
  }
  return 0;
}
