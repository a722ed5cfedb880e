// run_command_line FILE: starts the command line held in FILE (bytes in the
// ANSI code page, program path first) exactly as written, waits for it and
// returns its exit code. Wine quotes and escapes the arguments it is given
// when it builds a Windows command line; the scenario runner uses this
// program to hand updater.exe a command line with quotes, blanks and
// Japanese text unchanged. Test tool only; not part of the product.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: run_command_line FILE\n");
    return 126;
  }
  std::FILE* file = std::fopen(argv[1], "rb");
  if (file == nullptr) {
    std::fprintf(stderr, "run_command_line: cannot open %s\n", argv[1]);
    return 126;
  }
  std::string text;
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    text.append(chunk, got);
  }
  std::fclose(file);

  // CreateProcessA may write into the command line: give it a copy.
  std::vector<char> command(text.begin(), text.end());
  command.push_back('\0');

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0,
                      nullptr, nullptr, &startup, &process)) {
    std::fprintf(stderr, "run_command_line: cannot start (error %lu): %s\n",
                 static_cast<unsigned long>(GetLastError()), text.c_str());
    return 127;
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 127;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}
