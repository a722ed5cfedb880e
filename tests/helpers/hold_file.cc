// Test helper: holds files open, as another program would, until told to
// let go.
//
//   hold_file MODE READY RELEASE FILE...
//
// MODE is "read" (others may only read: no write, no rename, no delete) or
// "read-delete" (others may read, rename and delete, as with a loaded
// program image; on POSIX both are a plain open). Once every FILE is open,
// the file READY is made; the files are held until the file RELEASE exists
// (looked for every 50 ms, for at most ten minutes). Exit code 0, or 2 when
// a file cannot be opened.
#include <cstdio>
#include <cstring>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

bool Exists(const char* path) {
#ifdef _WIN32
  return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
#else
  return access(path, F_OK) == 0;
#endif
}

void Pause() {
#ifdef _WIN32
  Sleep(50);
#else
  usleep(50 * 1000);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: hold_file read|read-delete READY RELEASE FILE...\n");
    return 2;
  }
  const bool shareDelete = std::strcmp(argv[1], "read-delete") == 0;
#ifdef _WIN32
  std::vector<HANDLE> held;
  const DWORD share = FILE_SHARE_READ | (shareDelete ? FILE_SHARE_DELETE : 0);
  for (int i = 4; i < argc; ++i) {
    HANDLE file = CreateFileA(argv[i], GENERIC_READ, share, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      std::fprintf(stderr, "hold_file: cannot open %s\n", argv[i]);
      return 2;
    }
    held.push_back(file);
  }
#else
  (void)shareDelete;
  std::vector<int> held;
  for (int i = 4; i < argc; ++i) {
    const int fd = open(argv[i], O_RDONLY);
    if (fd < 0) {
      std::fprintf(stderr, "hold_file: cannot open %s\n", argv[i]);
      return 2;
    }
    held.push_back(fd);
  }
#endif
  if (FILE* ready = std::fopen(argv[2], "w")) std::fclose(ready);
  for (int waited = 0; waited < 12000 && !Exists(argv[3]); ++waited) Pause();
#ifdef _WIN32
  for (HANDLE file : held) CloseHandle(file);
#else
  for (int fd : held) close(fd);
#endif
  return 0;
}
