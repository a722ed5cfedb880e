// Shell shortcuts, written with the shell's link object.
#include "platform/win32/win32_platform.h"

#include "platform/win32/win32_raii.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

bool Win32Platform::WriteShortcut(const char* target, const char* workDir,
                                  const char* arguments, int showCommand,
                                  const char* linkFile) {
  if (target == nullptr || linkFile == nullptr) return false;
  ComPtr<IShellLinkA> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IShellLinkA, link.OutVoid()))) {
    return false;
  }
  // A shortcut is written whole or not at all: one that leads elsewhere,
  // or starts without its arguments, would be worse than none.
  if (FAILED(link->SetPath(target)) ||
      FAILED(link->SetWorkingDirectory(workDir != nullptr ? workDir : "")) ||
      FAILED(link->SetArguments(arguments != nullptr ? arguments : "")) ||
      (showCommand != 0 && FAILED(link->SetShowCmd(showCommand))))
    return false;

  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.OutVoid()))) {
    return false;
  }
  // A link path whose UTF-16 form does not fit is not saved at all: a cut
  // or empty path would write somewhere else.
  wchar_t path[MAX_PATH];
  if (MultiByteToWideChar(CP_ACP, 0, linkFile, -1, path, MAX_PATH) == 0) {
    return false;
  }
  return SUCCEEDED(file->Save(path, TRUE));
}
