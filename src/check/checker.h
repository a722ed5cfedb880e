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
#include "check/section_scan.h"
#include "check/settings_path.h"
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
  // What one procedure section holds, learnt when a list first names it.
  struct Section {
    std::string name;                  // as the first list names it
    const Command* command = nullptr;  // null when MODE is missing or unknown
    std::map<std::string, StrBuf> values;  // the text keys present, expanded

    const StrBuf* Value(const char* key) const {
      auto it = values.find(key);
      return it == values.end() ? nullptr : &it->second;
    }
  };

  // One distinct procedure list, with the SWITCH branches that lead on.
  struct ListNode {
    struct Edge {
      std::string switchName;
      std::string key;
      size_t child = 0;
      bool back = false;  // leads to a list that encloses this one
    };
    StrBuf text;
    std::string owner;        // the section that names it
    std::string ownerKey;     // and its key
    std::string description;  // for messages: "the main list", ...
    std::vector<Edge> edges;
    int state = 0;  // 0 not visited, 1 on the path being visited, 2 done
  };

  // The checks of each command's values (command_checks.cc), chosen by the
  // row's checker hook.
  struct CommandHooks;

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
  // The first list, and the checks of the row's checker hook.
  void CheckValues(Section& section);
  void CheckSeparators(Section& section);
  std::string RawValue(const std::string& section, const char* key);
  std::string WorstCase(const std::string& raw, int depth) const;
  // The checks of the row's checker hook that look up procedures of the
  // list (list as loaded, sections of each of its procedures).
  void CheckInList(Section& section, size_t position, ProcList list,
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
