#include "check/checker.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/code_page.h"
#include "check/check_text.h"
#include "check/edit_distance.h"
#include "check/section_scan.h"
#include "commands/file_tree.h"
#include "core/main_list.h"
#include "core/startup.h"
#include "core/switches.h"
#include "run/error_report.h"
#include "settings/settings_reader.h"
#include "settings/symbols.h"

namespace {

// The built-in symbols, which replace DEFINE entries of the same name.
constexpr const char* kBuiltInSymbols[] = {"<Win>",     "<Sys>",
                                           "<Src>",     "<Desktop>",
                                           "<Programs>", "<Temp>"};

// Calls the platform's COM start and stop around the check.
class ComScope {
 public:
  explicit ComScope(Platform& platform) : platform_(platform) {
    platform_.system().ComInitialize();
  }
  ~ComScope() { platform_.system().ComUninitialize(); }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  Platform& platform_;
};

}  // namespace

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::kError: return "error";
    case Severity::kWarning: return "warning";
    default: return "note";
  }
}

Checker::Checker(RecordingPlatform& platform)
    : platform_(platform), rt_(platform) {
  rt_.errorSink = &collector_;
}

Checker::~Checker() = default;

size_t Checker::Count(Severity severity) const {
  return static_cast<size_t>(
      std::count_if(findings_.begin(), findings_.end(),
                    [severity](const Finding& f) { return f.severity == severity; }));
}

void Checker::Add(Severity severity, const char* kind,
                  const std::string& section, const std::string& key,
                  const std::string& action, const std::string& message) {
  // The same fault reached through another list is reported once: errors
  // by their message, the others by what they say.
  const std::string identity =
      std::string(SeverityName(severity)) + "\n" + kind + "\n" +
      Folded(section, rt_.codePage) + "\n" + Folded(key, rt_.codePage) + "\n" +
      (severity == Severity::kError ? message : action);
  if (!reported_.insert(identity).second) return;
  Finding finding;
  finding.severity = severity;
  finding.kind = kind;
  finding.section = platform_.system().AnsiToUtf8(section.c_str());
  finding.key = platform_.system().AnsiToUtf8(key.c_str());
  finding.action = platform_.system().AnsiToUtf8(action.c_str());
  finding.message = platform_.system().AnsiToUtf8(message.c_str());
  findings_.push_back(std::move(finding));
}

void Checker::TakeReports(const char* kind, const std::string& action,
                          const char* section, const char* key) {
  std::vector<ErrorReport> reports;
  reports.swap(collector_.reports);
  for (const ErrorReport& report : reports)
    Add(Severity::kError, kind, section != nullptr ? section : report.section,
        key != nullptr ? key : report.key, action, report.text);
}

bool Checker::Check(const char* settingsPath, const char* commandLine) {
  const char* sep = rt_.Sep();
  // The switches of deployment tools are taken out of the command line as
  // the updater takes them out.
  rt_.CommandLine.Assign(TakeSwitches(commandLine, rt_.codePage).rest.c_str());
  rt_.SettingsPath.Assign(settingsPath);
  rt_.ModulePath =
      ProgramPathFor(rt_.SettingsPath, rt_.CommandLine, sep, rt_.codePage);
  platform_.modulePath = rt_.ModulePath.Text();
  ReadCaption(rt_);

  if (!PathExists(platform_, settingsPath) ||
      IsDirectory(platform_, settingsPath) || !ScanSections())
    return false;

  ComScope com(platform_);
  if (!LoadSymbols(rt_)) return false;
  CheckDefine();
  const bool reached = CheckUpdaterSection();
  if (reached) Traverse();
  NoteSections(reached);
  caption_ = platform_.system().AnsiToUtf8(rt_.Caption.Text());
  return true;
}

bool Checker::ScanSections() {
  if (!ScanSectionHeaders(platform_, rt_.SettingsPath.Text(), headers_))
    return false;
  for (const HeaderLine& header : headers_)
    headerNames_.insert(Folded(header.name, rt_.codePage));
  return true;
}

bool Checker::HasSection(const std::string& name) const {
  return headerNames_.count(Folded(TrimBlanks(name), rt_.codePage)) != 0;
}

// DEFINE: each name is looked for exactly as written before its "=".
void Checker::CheckDefine() {
  std::set<std::string> names;
  for (const std::string& line :
       SectionLines(SettingsFile(rt_), rt_.SettingsPath.Text(), "DEFINE")) {
    if (line[0] == ';') continue;
    const std::string name = line.substr(0, line.find('='));
    const StrBuf symbol(name.c_str());
    if (line.find('=') != std::string::npos &&
        !defines_.count(Folded(name, rt_.codePage))) {
      const StrBuf value = StrBuf(line.c_str()).Field(1, "=", rt_.codePage);
      defines_[Folded(name, rt_.codePage)] = value.Text();
    }
    if (!names.insert(Folded(name, rt_.codePage)).second) {
      Warn("duplicate-key", "DEFINE", name,
           "the symbol is defined twice: the first definition counts and "
           "the line " + Quoted(line) + " is ignored");
      continue;
    }
    if (name.size() < 2 || name.front() != '<' || name.back() != '>') {
      const std::string bare = TrimBlanks(name);
      const bool bracketed =
          bare.size() >= 2 && bare.front() == '<' && bare.back() == '>';
      Warn("unusable-symbol", "DEFINE", name,
           std::string(bracketed ? "the blanks around the name are part of it"
                                 : "a name without angle brackets") +
               ": it can never be referenced; write it as " +
               (bracketed ? bare : "<" + bare + ">"));
      continue;
    }
    for (const char* builtIn : kBuiltInSymbols)
      if (symbol.Equals(builtIn, rt_.codePage))
        Warn("builtin-symbol", "DEFINE", name,
             "a built-in symbol: the updater replaces this value by its own");
  }
}

// Section UPDATER: NAME and PROC, read as start-up reads them. Returns
// whether PROC could be read.
bool Checker::CheckUpdaterSection() {
  const std::string stops = "start-up stops with this message: nothing runs";
  if (!ReadExitCodeOption(rt_))
    TakeReports("bad-value",
                "EXITCODE is none of 0 and 1: " + stops + " (exit code 1620)",
                "UPDATER", "EXITCODE");
  if (!ReadProgressOption(rt_))
    TakeReports("bad-value",
                "PROGRESS is none of 0 and 1: " + stops +
                    " (exit code 1620 with exit codes on)",
                "UPDATER", "PROGRESS");
  if (!ReadRollbackOption(rt_))
    TakeReports("bad-value",
                "ROLLBACK is none of 0, 1, NO and YES: " + stops +
                    " (exit code 1620 with exit codes on)",
                "UPDATER", "ROLLBACK");
  if (!ReadInUseOption(rt_))
    TakeReports("bad-value",
                "INUSE is none of 0, NO, CLOSE, RESTART and CLOSE,RESTART: " +
                    stops + " (exit code 1620 with exit codes on)",
                "UPDATER", "INUSE");
  const bool both = ReadUpdaterSection(rt_);
  TakeReports("missing-key", stops);
  bool proc = both;
  if (!both) {
    // The reading stops at a missing NAME; PROC is looked at all the same.
    proc = GetSettingString(rt_, "UPDATER", "PROC", rt_.UpdaterProc,
                            "UpdaterProc");
    TakeReports("missing-key", stops);
  }
  StrBuf name;
  if (ReadProfileString(SettingsFile(rt_), rt_.SettingsPath.Text(), "UPDATER",
                        "NAME", name) == KeyRead::kPresent) {
    CheckExpansion("UPDATER", "NAME", rt_.UpdaterName);
    if (!rt_.UpdaterName.IsEmpty()) rt_.Caption.Assign(rt_.UpdaterName);
  }
  if (HasSection("UPDATER")) CheckLines("UPDATER", nullptr, true);
  if (!proc) return false;
  CheckExpansion("UPDATER", "PROC", rt_.UpdaterProc);
  if (rt_.UpdaterProc.FieldCount(",", rt_.codePage) == 0) {
    ShowErrorReport(rt_, kMsgItemCount, "UPDATER", "PROC");
    TakeReports("empty-list", "the main list is empty: nothing runs", "UPDATER",
                "PROC");
    return false;
  }
  return true;
}
Checker::Section& Checker::CheckSection(const StrBuf& name,
                                        const std::string& loadAction) {
  const std::string section = name.Text();
  std::unique_ptr<Section>& slot = sections_[Folded(section, rt_.codePage)];
  if (slot) return *slot;
  slot.reset(new Section);
  Section& s = *slot;
  s.name = section;
  const bool exists = HasSection(section);

  StrBuf mode;
  if (!GetSettingString(rt_, section.c_str(), "MODE", mode, "ProcList")) {
    TakeReports(exists ? "missing-key" : "missing-section",
                (exists ? "MODE is missing: " : "there is no such section: ") +
                    loadAction,
                section.c_str(), "MODE");
    if (exists) CheckLines(section, nullptr, false);
    return s;
  }
  CheckExpansion(section, "MODE", mode);
  const Command* command = FindCommand(mode, rt_.codePage);
  s.command = command;
  if (command == nullptr) {
    ShowErrorReport(rt_, kMsgBadSymbol, mode.Text());
    TakeReports("unknown-mode", "MODE names no command: " + loadAction,
                section.c_str(), "MODE");
    CheckLines(section, nullptr, false);
    return s;
  }

  // The loader a run uses: what it reports is what a run reports.
  LoadRecord(rt_, *command, name);
  TakeReports("missing-key", "the key is missing: " + loadAction);

  // The loader stops at the first missing key; every key is looked at.
  for (const RecordKey& row : s.command->keys) {
    const char* const key = row.name;
    StrBuf value;
    if (ReadProfileString(SettingsFile(rt_), rt_.SettingsPath.Text(),
                          section.c_str(), key, value) != KeyRead::kPresent) {
      ShowErrorReport(rt_, kMsgBadFormat, section.c_str(), key);
      TakeReports("missing-key", "the key is missing: " + loadAction,
                  section.c_str(), key);
      continue;
    }
    if (row.integer) {
      if (!IsDecimal(value))
        Warn("not-a-number", section, key,
             Quoted(value.Text()) + " is not a number: the updater uses " +
                 Number(value.ToInt()));
      continue;
    }
    GetSettingString(rt_, section.c_str(), key, value, s.command->objectName);
    TakeReports("missing-key", "the key is missing: " + loadAction);
    CheckExpansion(section, key, value);
    s.values[key] = value;
  }
  CheckLines(section, s.command, true);
  CheckValues(s);
  return s;
}

// The lines of a section: keys written twice, lines that are no key, and,
// when the keys the section's reader takes are known (command, or section
// UPDATER when command is null), keys it never reads.
void Checker::CheckLines(const std::string& section, const Command* command,
                         bool knownKeys) {
  std::vector<std::string> known;
  if (knownKeys && command == nullptr)
    known = {"NAME", "PROC", "EXITCODE", "PROGRESS", "ROLLBACK", "INUSE"};
  if (command != nullptr) {
    known.push_back("MODE");
    for (const RecordKey& key : command->keys) known.push_back(key.name);
  }
  const std::vector<std::string> lines =
      SectionLines(SettingsFile(rt_), rt_.SettingsPath.Text(), section.c_str());
  std::set<std::string> present;
  for (const std::string& line : lines)
    if (line[0] != ';' && line.find('=') != std::string::npos)
      present.insert(
          Folded(TrimBlanks(line.substr(0, line.find('='))), rt_.codePage));
  std::set<std::string> seen;
  for (const std::string& line : lines) {
    if (line[0] == ';') continue;
    const size_t equals = line.find('=');
    if (equals == std::string::npos) {
      Warn("not-a-key", section, TrimBlanks(line),
           "the line " + Quoted(line) + " holds no \"=\": the updater ignores it");
      continue;
    }
    const std::string key = TrimBlanks(line.substr(0, equals));
    if (!seen.insert(Folded(key, rt_.codePage)).second) {
      Warn("duplicate-key", section, key,
           "the key is written twice: the first one counts and the line " +
               Quoted(line) + " is ignored");
      continue;
    }
    std::string value = TrimBlanks(line.substr(equals + 1));
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') &&
        value.back() == value[0])
      value = value.substr(1, value.size() - 2);
    if (value.size() > kValueWorkArea - 2)
      Warn("value-cut", section, key,
           "the value has " + Number(static_cast<long long>(value.size())) +
               " bytes: the updater reads only the first " +
               Number(kValueWorkArea - 2));
    if (!knownKeys) continue;
    bool read = false;
    for (const std::string& name : known)
      read = read || StrBuf(key.c_str()).Equals(name.c_str(), rt_.codePage);
    if (read) continue;
    std::string action =
        (command != nullptr ? std::string(command->mode) : "section UPDATER") +
        " reads no key " + key + ": the updater ignores it";
    for (const std::string& name : known)
      if (key.size() > 1 && Distance(key, name, rt_.codePage) <= 2 &&
          !present.count(Folded(name, rt_.codePage)))
        action += " (meant " + name + "?)";
    Warn("unread-key", section, key, action);
  }
}

void Checker::CheckExpansion(const std::string& section, const char* key,
                             const StrBuf& value) {
  const std::vector<std::string> symbols =
      LeftBlocks(value, '<', '>', false, rt_.codePage);
  if (!symbols.empty())
    Warn("unexpanded-symbol", section, key,
         Joined(symbols) + (symbols.size() > 1 ? " are" : " is") +
             " no symbol: the updater keeps the text as written, " +
             Quoted(value.Text()));
  const std::vector<std::string> queries =
      LeftBlocks(value, '{', '}', true, rt_.codePage);
  if (!queries.empty())
    Warn("unexpanded-query", section, key,
         Joined(queries) + " gives nothing on this machine: the updater "
                           "keeps the text as written, " +
             Quoted(value.Text()));
  const char* sep = rt_.Sep();
  const int32_t n = value.FieldCount(sep, rt_.codePage);
  for (int32_t i = 1; i < n; ++i) {
    if (value.Field(i, sep, rt_.codePage).Equals("..", rt_.codePage)) {
      Warn("dot-dot", section, key,
           "\"" + std::string(sep) +
               "..\" is left after collapsing (it would climb above the "
               "first folder): the updater uses " + Quoted(value.Text()));
      break;
    }
  }
}

// Sections written twice, and, when the lists could be followed, sections
// that no list reaches.
void Checker::NoteSections(bool reached) {
  std::set<std::string> seen;
  for (const HeaderLine& header : headers_) {
    const std::string folded = Folded(header.name, rt_.codePage);
    if (!seen.insert(folded).second) {
      Warn("duplicate-section", header.name, "",
           "the section is written again on line " + Number(header.line) +
               ": the updater reads only the first");
      continue;
    }
    if (!reached || folded == "updater" || folded == "define" ||
        sections_.count(folded))
      continue;
    Add(Severity::kNote, "unreached", header.name, "",
        "no list reaches this section: the updater never reads it");
  }
}
