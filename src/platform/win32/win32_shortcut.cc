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
  link->SetPath(target);
  link->SetWorkingDirectory(workDir != nullptr ? workDir : "");
  link->SetArguments(arguments != nullptr ? arguments : "");
  if (showCommand != 0) link->SetShowCmd(showCommand);

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
