// The settings checker: reads a settings file as the updater would, through
// the updater's own readers, loaders and expansion, on a platform that
// records instead of acting, and lists every fault it finds: in the main
// list and in both lists of every SWITCH, whichever branch a run would take.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/str_buf.h"
#include "check/recording_platform.h"
#include "commands/command_table.h"
#include "run/error_report.h"
#include "run/procedure.h"
#include "run/runtime.h"

enum class Severity { kError, kWarning, kNote };

// One fault. Texts are UTF-8.
struct Finding {
  Severity severity = Severity::kError;
  std::string kind;     // a short name of the kind of fault, such as "missing-key"
  std::string section;  // the section concerned
  std::string key;      // the key concerned; empty for a whole section
  std::string action;   // what the updater would do
  std::string message;  // for errors, the message the user would see
};

const char* SeverityName(Severity severity);

// The settings path as the updater would know it: separators of the
// platform, made absolute against workingDirectory, "." and ".." components
// resolved.
StrBuf SettingsFilePath(const char* given, const char* workingDirectory,
                        const char* separator);

// The program path the updater would have when it reads settingsPath with
// commandLine: beside the settings file, or, with a /i option naming it,
// in the folder the option is relative to.
StrBuf ProgramPathFor(const StrBuf& settingsPath, const StrBuf& commandLine,
                      const char* separator);

class Checker {
 public:
  explicit Checker(RecordingPlatform& platform);
  ~Checker();
  Checker(const Checker&) = delete;
  Checker& operator=(const Checker&) = delete;

  // Checks the settings file settingsPath (absolute, see SettingsFilePath)
  // read with commandLine as the updater's command line; once per Checker.
  // False, with no findings, when the file cannot be read.
  bool Check(const char* settingsPath, const char* commandLine);

  const std::vector<Finding>& findings() const { return findings_; }
  size_t Count(Severity severity) const;
  // The caption of the updater's message boxes (UTF-8).
  const std::string& caption() const { return caption_; }

 private:
  struct Section;
  struct ListNode;
  struct HeaderLine {
    std::string name;  // as written, blanks trimmed
    int line = 0;
  };

  void Add(Severity severity, const char* kind, const std::string& section,
           const std::string& key, const std::string& action,
           const std::string& message = "");
  void Warn(const char* kind, const std::string& section,
            const std::string& key, const std::string& action) {
    Add(Severity::kWarning, kind, section, key, action);
  }
  // Every error report made since the last call becomes an error, about
  // section and key (those the report names when null).
  void TakeReports(const char* kind, const std::string& action,
                   const char* section = nullptr, const char* key = nullptr);

  bool ScanSections();
  bool HasSection(const std::string& name) const;
  void CheckDefine();
  bool CheckUpdaterSection();
  void Traverse();
  void CheckList(size_t index);
  // The list of text, named by key of section owner (a command ownerMode);
  // added to the graph when new.
  size_t ListFor(const StrBuf& text, const char* ownerMode,
                 const std::string& owner, const char* key);
  Section& CheckSection(const StrBuf& name, const std::string& loadAction);
  void CheckLines(const std::string& section, const Command* command,
                  bool knownKeys);
  void CheckExpansion(const std::string& section, const char* key,
                      const StrBuf& value);
  void CheckValues(Section& section);
  void CheckRoots(Section& section);
  std::string RawValue(const std::string& section, const char* key);
  std::string WorstCase(const std::string& raw, int depth) const;
  void CheckInList(Section& section, size_t position, Procedure** list,
                   const std::vector<Section*>& sections);
  void CheckDepth(const std::vector<size_t>& postorder);
  void NoteSections(bool reached);

  // The error reports of the engine, collected instead of shown.
  class Collector : public ErrorSink {
   public:
    void Take(Runtime&, const ErrorReport& report) override {
      reports.push_back(report);
    }
    std::vector<ErrorReport> reports;
  };

  RecordingPlatform& platform_;
  Collector collector_;
  Runtime rt_;
  std::string caption_;
  std::vector<Finding> findings_;
  std::set<std::string> reported_;
  std::vector<HeaderLine> headers_;
  std::set<std::string> headerNames_;  // ASCII case folded
  std::map<std::string, std::unique_ptr<Section>> sections_;
  std::vector<ListNode> lists_;
  std::map<std::string, size_t> listIndex_;
  std::map<std::string, std::string> defines_;  // DEFINE, names folded
};
