// The one seam between the engine and the operating system, split by
// concern into four small interfaces: the file system, processes, the user
// interface and system information. win32/ answers them with the ANSI Win32
// functions, posix/ with their POSIX equivalents. All texts are bytes in the
// ANSI code page (SystemInfo::AnsiCodePage()).
//
// A Platform only hands the four out. What stands between the engine and
// the system (rollback, files in use, the checker's recording) replaces one
// of them, the file system, and takes the other three as they are.
#pragma once

#include <memory>
#include <optional>
#include <type_traits>

#include "base/code_page.h"
#include "platform/file_system.h"
#include "platform/processes.h"
#include "platform/system_info.h"
#include "platform/user_interface.h"

class Platform {
 public:
  Platform(FileSystem& files, Processes& processes, UserInterface& ui,
           SystemInfo& system)
      : files_(&files), processes_(&processes), ui_(&ui), system_(&system) {}
  // One object that answers all four (the system's platform, a test's).
  template <typename All, typename = std::enable_if_t<
                              std::is_base_of<FileSystem, All>::value &&
                              std::is_base_of<Processes, All>::value &&
                              std::is_base_of<UserInterface, All>::value &&
                              std::is_base_of<SystemInfo, All>::value>>
  explicit Platform(All& all) : Platform(all, all, all, all) {}

  FileSystem& files() const { return *files_; }
  Processes& processes() const { return *processes_; }
  UserInterface& ui() const { return *ui_; }
  SystemInfo& system() const { return *system_; }

  // The rules of system().AnsiCodePage(), read at the first use and kept
  // (the code page is fixed for the life of the process); a platform made
  // from this one by WithFiles keeps them.
  const CodePage& codePage() const {
    if (!codePage_) codePage_.emplace(system_->AnsiCodePage());
    return *codePage_;
  }

  // The same platform with another file system (one that stands in front
  // of files()).
  // Reads the code page again where it was kept already (a test's platform
  // whose code page changed); what refers to the kept rules sees the new.
  void ReadCodePageAgain() {
    if (codePage_) *codePage_ = CodePage(system_->AnsiCodePage());
  }

  Platform WithFiles(FileSystem& files) const {
    Platform other(files, *processes_, *ui_, *system_);
    other.codePage_ = codePage_;
    return other;
  }

 private:
  FileSystem* files_;
  Processes* processes_;
  UserInterface* ui_;
  SystemInfo* system_;
  mutable std::optional<CodePage> codePage_;
};

// What the system itself answers: the four interfaces in one object, which
// is also the Platform that hands them out.
class SystemPlatform : public FileSystem,
                       public Processes,
                       public UserInterface,
                       public SystemInfo,
                       public Platform {
 public:
  SystemPlatform() : Platform(*this, *this, *this, *this) {}
  SystemPlatform(const SystemPlatform&) = delete;
  SystemPlatform& operator=(const SystemPlatform&) = delete;
};

// The platform of this build (win32 or posix).
std::unique_ptr<SystemPlatform> CreateSystemPlatform();
