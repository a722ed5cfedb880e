#include "check/checker.h"

#include <algorithm>
#include <bitset>
#include <cstring>
#include <utility>

#include "base/code_page.h"
#include "commands/file_tree.h"
#include "commands/launch.h"
#include "core/command_table.h"
#include "core/dispatch.h"
#include "core/levels.h"
#include "core/startup.h"
#include "settings/error_report.h"
#include "settings/settings_reader.h"
#include "settings/symbols.h"

namespace {

// Id of the default caption in the string table.
constexpr uint32_t kDefaultCaptionId = 100;
// A settings file larger than this is not read.
constexpr uint64_t kMaxSettingsSize = 64u << 20;

// The four box kinds of MSGBOX.
constexpr const char* kBoxTypes[] = {"ERROR", "INFORMATION", "WARNING",
                                     "QUESTION"};

// The built-in symbols, which replace DEFINE entries of the same name.
constexpr const char* kBuiltInSymbols[] = {"<Win>",     "<Sys>",
                                           "<Src>",     "<Desktop>",
                                           "<Programs>", "<Temp>"};

std::string Folded(const std::string& text) { return FoldAsciiCase(text); }

std::string TrimBlanks(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string Number(long long n) { return std::to_string(n); }


// A whole decimal number: an optional sign and digits, nothing else.
bool IsDecimal(const StrBuf& text) {
  const char* p = text.Text();
  if (*p == '+' || *p == '-') ++p;
  if (*p < '0' || *p > '9') return false;
  while (*p >= '0' && *p <= '9') ++p;
  return *p == 0;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
         (c >= 'A' && c <= 'F');
}

// A whole hexadecimal number: an optional sign, an optional 0x, digits.
bool IsHex(const StrBuf& text) {
  const char* p = text.Text();
  if (*p == '+' || *p == '-') ++p;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && IsHexDigit(p[2])) p += 2;
  if (!IsHexDigit(*p)) return false;
  while (IsHexDigit(*p)) ++p;
  return *p == 0;
}

std::string Hex8(uint32_t value) {
  StrBuf text;
  text.Format("0x%08X", static_cast<unsigned>(value));
  return text.Text();
}

// The runs from open to the next close, character by character, that are
// still in a value after its expansion; with query set, only those whose
// inside starts with "?".
std::vector<std::string> LeftBlocks(const StrBuf& value, char open,
                                    char close, bool query) {
  std::vector<std::string> blocks;
  const std::string text = value.Text();
  size_t start = std::string::npos;
  for (size_t i = 0; i < text.size();) {
    if (text[i] == open) {
      start = i;
    } else if (text[i] == close && start != std::string::npos) {
      std::string block = text.substr(start, i - start + 1);
      if (!query || (block.size() > 2 && block[1] == '?'))
        blocks.push_back(block);
      start = std::string::npos;
    }
    i += static_cast<size_t>(CharLength(text.c_str() + i));
  }
  return blocks;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) {
    if (!out.empty()) out += ", ";
    out += item;
  }
  return out;
}

// The edit distance of two short names, ASCII case ignored.
size_t Distance(const std::string& a, const std::string& b) {
  const std::string x = Folded(a), y = Folded(b);
  std::vector<size_t> row(y.size() + 1);
  for (size_t j = 0; j <= y.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= x.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= y.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1,
                         diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[y.size()];
}

// The identity of a procedure list: its names, trimmed, ASCII case folded.
std::string ListIdentity(const StrBuf& list) {
  std::string identity;
  const int32_t n = list.FieldCount(",");
  for (int32_t i = 0; i < n; ++i) {
    if (i > 0) identity += ",";
    identity += Folded(ListItem(list, i).Text());
  }
  return identity;
}

// The lines of a section as the platform hands them over, comment lines
// included.
std::vector<std::string> SectionLines(Platform& platform, const char* file,
                                      const char* section) {
  std::vector<char> work(kSectionWorkArea, 0);
  platform.ReadProfileSectionLines(file, section, work.data(),
                                   kSectionWorkArea);
  work[kSectionWorkArea - 2] = 0;
  work[kSectionWorkArea - 1] = 0;
  std::vector<std::string> lines;
  for (const char* line = work.data(); *line != 0;) {
    lines.emplace_back(line);
    line += lines.back().size() + 1;
  }
  return lines;
}

// Calls the platform's COM start and stop around the check.
class ComScope {
 public:
  explicit ComScope(Platform& platform) : platform_(platform) {
    platform_.ComInitialize();
  }
  ~ComScope() { platform_.ComUninitialize(); }
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

StrBuf SettingsFilePath(const char* given, const char* workingDirectory,
                        const char* separator) {
  const bool backslash = std::strcmp(separator, "\\") == 0;
  std::string path = given != nullptr ? given : "";
  std::string cwd = workingDirectory != nullptr ? workingDirectory : "";
  if (backslash) {
    // "/" is never a trail byte of a double-byte character.
    std::replace(path.begin(), path.end(), '/', '\\');
    std::replace(cwd.begin(), cwd.end(), '/', '\\');
  }
  const bool drive = backslash && path.size() >= 2 && path[1] == ':';
  if (!cwd.empty() && !drive) {
    if (path.compare(0, 1, separator) != 0)
      path = cwd + separator + path;
    else if (backslash && path.compare(0, 2, "\\\\") != 0 && cwd.size() >= 2 &&
             cwd[1] == ':')
      path = cwd.substr(0, 2) + path;  // the root of the current drive
  }

  const StrBuf whole(path.c_str());
  const int32_t n = whole.FieldCount(separator);
  std::vector<std::string> kept;
  for (int32_t i = 0; i < n; ++i) {
    const std::string field = whole.Field(i, separator).Text();
    const bool root = std::all_of(kept.begin(), kept.end(),
                                  [](const std::string& f) { return f.empty(); });
    if (field == "." || (field.empty() && !root && i + 1 < n)) continue;
    if (field == ".." && kept.size() >= 2 && kept.back() != ".." &&
        !kept.back().empty()) {
      kept.pop_back();
      continue;
    }
    kept.push_back(field);
  }
  std::string out;
  for (size_t i = 0; i < kept.size(); ++i) {
    if (i > 0) out += separator;
    out += kept[i];
  }
  return StrBuf(out.c_str());
}

StrBuf ProgramPathFor(const StrBuf& settingsPath, const StrBuf& commandLine,
                      const char* separator) {
  StrBuf folder = settingsPath.Fields(0, -2, separator);
  StrBuf value;
  if (GetCommandLineOption(commandLine, 'i', value) && !value.IsEmpty()) {
    std::string tail = value.Text();
    if (std::strcmp(separator, "\\") == 0)
      std::replace(tail.begin(), tail.end(), '/', '\\');
    tail = separator + tail;
    const int32_t length = settingsPath.Length();
    const int32_t tailLength = static_cast<int32_t>(tail.size());
    if (length > tailLength &&
        settingsPath.Extract(length - tailLength, length - 1)
            .Equals(tail.c_str()))
      folder = settingsPath.Extract(0, length - tailLength - 1);
  }
  StrBuf name = settingsPath.Field(-1, separator);
  if (name.Contains(".")) name = name.Fields(0, -2, ".");
  if (name.IsEmpty()) name.Assign("updater");
  if (std::strcmp(separator, "\\") == 0) name.Append(".exe");
  return folder.Concat(separator).Concat(name);
}

// What one procedure section holds, learnt when a list first names it.
struct Checker::Section {
  std::string name;  // as the first list names it
  const CommandKeys* command = nullptr;  // null when MODE is missing or unknown
  std::map<std::string, StrBuf> values;  // the text keys present, expanded

  const StrBuf* Value(const char* key) const {
    auto it = values.find(key);
    return it == values.end() ? nullptr : &it->second;
  }
  bool Is(const char* mode) const {
    return command != nullptr && std::strcmp(command->mode, mode) == 0;
  }
};

// One distinct procedure list, with the SWITCH branches that lead on.
struct Checker::ListNode {
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

Checker::Checker(RecordingPlatform& platform)
    : platform_(platform), rt_(platform) {}

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
  const std::string identity = std::string(SeverityName(severity)) + "\n" +
                               kind + "\n" + Folded(section) + "\n" +
                               Folded(key) + "\n" +
                               (severity == Severity::kError ? message : action);
  if (!reported_.insert(identity).second) return;
  Finding finding;
  finding.severity = severity;
  finding.kind = kind;
  finding.section = platform_.AnsiToUtf8(section.c_str());
  finding.key = platform_.AnsiToUtf8(key.c_str());
  finding.action = platform_.AnsiToUtf8(action.c_str());
  finding.message = platform_.AnsiToUtf8(message.c_str());
  findings_.push_back(std::move(finding));
}

void Checker::TakeBoxes(const char* kind, const std::string& action,
                        const char* section, const char* key) {
  std::vector<RecordingPlatform::Box> boxes;
  boxes.swap(platform_.boxes);
  for (const RecordingPlatform::Box& box : boxes)
    Add(Severity::kError, kind, section != nullptr ? section : box.section,
        key != nullptr ? key : box.key, action, box.text);
}

bool Checker::Check(const char* settingsPath, const char* commandLine) {
  SetAnsiCodePage(platform_.AnsiCodePage());
  const char* sep = rt_.Sep();
  rt_.CommandLine.Assign(commandLine);
  rt_.SettingsPath.Assign(settingsPath);
  rt_.ModulePath = ProgramPathFor(rt_.SettingsPath, rt_.CommandLine, sep);
  platform_.modulePath = rt_.ModulePath.Text();
  if (!GetCommandLineOption(rt_.CommandLine, 't', rt_.Caption)) {
    char caption[256];
    if (LoadResourceString(kDefaultCaptionId, caption, sizeof caption) <= 0)
      caption[0] = 0;
    caption[sizeof caption - 1] = 0;
    rt_.Caption.Assign(caption);
  }

  if (!PathExists(platform_, settingsPath) ||
      IsDirectory(platform_, settingsPath) || !ScanSections())
    return false;

  ComScope com(platform_);
  LoadSymbols(rt_);
  CheckDefine();
  const bool reached = CheckUpdaterSection();
  if (reached) Traverse();
  NoteSections(reached);
  caption_ = platform_.AnsiToUtf8(rt_.Caption.Text());
  return true;
}

// The section headers of the file, found as the profile reader finds them:
// a line that, without its blanks, starts with "[" and holds a later "]";
// the name is what lies between the "[" and the last "]", without blanks.
bool Checker::ScanSections() {
  std::unique_ptr<ExclusiveFile> file =
      platform_.OpenExclusive(rt_.SettingsPath.Text());
  if (!file || file->Size() > kMaxSettingsSize) return false;
  std::string data;
  char chunk[8192];
  for (;;) {
    uint32_t got = 0;
    if (!file->Read(chunk, sizeof chunk, got)) return false;
    if (got == 0) break;
    data.append(chunk, got);
    if (data.size() > kMaxSettingsSize) return false;
  }
  size_t at = data.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  for (int number = 1; at < data.size(); ++number) {
    size_t end = data.find_first_of("\r\n", at);
    if (end == std::string::npos) end = data.size();
    const std::string line = TrimBlanks(data.substr(at, end - at));
    at = end;
    if (at < data.size() && data[at] == '\r' && at + 1 < data.size() &&
        data[at + 1] == '\n')
      ++at;
    if (at < data.size()) ++at;
    const size_t close = line.rfind(']');
    if (line.empty() || line[0] != '[' || close == std::string::npos ||
        close == 0)
      continue;
    headers_.push_back(HeaderLine{TrimBlanks(line.substr(1, close - 1)), number});
    headerNames_.insert(Folded(headers_.back().name));
  }
  return true;
}

bool Checker::HasSection(const std::string& name) const {
  return headerNames_.count(Folded(TrimBlanks(name))) != 0;
}

// DEFINE: each name is looked for exactly as written before its "=".
void Checker::CheckDefine() {
  std::set<std::string> names;
  for (const std::string& line :
       SectionLines(platform_, rt_.SettingsPath.Text(), "DEFINE")) {
    if (line[0] == ';') continue;
    const std::string name = line.substr(0, line.find('='));
    const StrBuf symbol(name.c_str());
    if (line.find('=') != std::string::npos && !defines_.count(Folded(name))) {
      const StrBuf value = StrBuf(line.c_str()).Field(1, "=");
      defines_[Folded(name)] = value.Text();
    }
    if (!names.insert(Folded(name)).second) {
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
      if (symbol.Equals(builtIn))
        Warn("builtin-symbol", "DEFINE", name,
             "a built-in symbol: the updater replaces this value by its own");
  }
}

// Section UPDATER: NAME and PROC, read as start-up reads them. Returns
// whether PROC could be read.
bool Checker::CheckUpdaterSection() {
  const std::string stops = "start-up stops with this message: nothing runs";
  if (!ReadExitCodeOption(rt_))
    TakeBoxes("bad-value",
              "EXITCODE is none of 0 and 1: " + stops + " (exit code 1620)",
              "UPDATER", "EXITCODE");
  if (!ReadProgressOption(rt_))
    TakeBoxes("bad-value",
              "PROGRESS is none of 0 and 1: " + stops +
                  " (exit code 1620 with exit codes on)",
              "UPDATER", "PROGRESS");
  if (!ReadRollbackOption(rt_))
    TakeBoxes("bad-value",
              "ROLLBACK is none of 0, 1, NO and YES: " + stops +
                  " (exit code 1620 with exit codes on)",
              "UPDATER", "ROLLBACK");
  const bool both = ReadUpdaterSection(rt_);
  TakeBoxes("missing-key", stops);
  bool proc = both;
  if (!both) {
    // The reading stops at a missing NAME; PROC is looked at all the same.
    proc = GetSettingString(rt_, "UPDATER", "PROC", rt_.UpdaterProc);
    TakeBoxes("missing-key", stops);
  }
  StrBuf name;
  if (ReadProfileString(platform_, rt_.SettingsPath.Text(), "UPDATER", "NAME",
                        name)) {
    CheckExpansion("UPDATER", "NAME", rt_.UpdaterName);
    if (!rt_.UpdaterName.IsEmpty()) rt_.Caption.Assign(rt_.UpdaterName);
  }
  if (HasSection("UPDATER")) CheckLines("UPDATER", nullptr, true);
  if (!proc) return false;
  CheckExpansion("UPDATER", "PROC", rt_.UpdaterProc);
  if (rt_.UpdaterProc.FieldCount(",") == 0) {
    ShowErrorReport(rt_, kMsgItemCount, "UPDATER", "PROC");
    TakeBoxes("empty-list", "the main list is empty: nothing runs", "UPDATER",
              "PROC");
    return false;
  }
  return true;
}

size_t Checker::ListFor(const StrBuf& text, const std::string& owner,
                        const char* key) {
  const std::string identity = ListIdentity(text);
  auto found = listIndex_.find(identity);
  if (found != listIndex_.end()) return found->second;
  ListNode node;
  node.text = text;
  node.owner = owner;
  node.ownerKey = key;
  node.description = lists_.empty()
                         ? std::string("the main list")
                         : "list \"" + std::string(key) + "\" of SWITCH " + owner;
  lists_.push_back(std::move(node));
  listIndex_[identity] = lists_.size() - 1;
  return lists_.size() - 1;
}

// Every distinct list once, depth first from the main list, without
// recursion (a file may chain any number of lists).
void Checker::Traverse() {
  const size_t root = ListFor(rt_.UpdaterProc, "UPDATER", "PROC");
  std::vector<size_t> postorder;
  struct Frame {
    size_t list;
    size_t next;
  };
  std::vector<Frame> path;
  lists_[root].state = 1;
  CheckList(root);
  path.push_back(Frame{root, 0});
  while (!path.empty()) {
    Frame& frame = path.back();
    if (frame.next == lists_[frame.list].edges.size()) {
      lists_[frame.list].state = 2;
      postorder.push_back(frame.list);
      path.pop_back();
      continue;
    }
    const size_t from = frame.list;
    ListNode::Edge& edge = lists_[from].edges[frame.next++];
    ListNode& child = lists_[edge.child];
    if (child.state == 1) {
      edge.back = true;
      Warn("cycle", edge.switchName, edge.key,
           "the branch runs " + child.description +
               " again, which encloses this SWITCH: each time it is taken "
               "the list is loaded once more, one level deeper, and at level " +
               Number(kMaxLevels) + " the run stops with message " +
               Number(kMsgNestingTooDeep));
    } else if (child.state == 0) {
      const size_t next = edge.child;
      lists_[next].state = 1;
      CheckList(next);
      path.push_back(Frame{next, 0});
    }
  }
  CheckDepth(postorder);
}

// Loads every procedure of a list as LoadProcedureList would, each on its
// own so that every fault is found, then makes the checks that concern the
// list as a whole; notes the SWITCH branches as the list's edges.
void Checker::CheckList(size_t index) {
  const StrBuf text = lists_[index].text;
  const std::string owner = lists_[index].owner;
  const std::string ownerKey = lists_[index].ownerKey;
  const std::string description = lists_[index].description;
  const std::string loadAction =
      index == 0 ? std::string("the main list cannot be loaded: nothing runs")
                 : description +
                       " cannot be loaded: none of its procedures runs and "
                       "the run stops";

  const int32_t n = text.FieldCount(",");
  std::vector<Procedure> records(static_cast<size_t>(n));
  std::vector<Procedure*> list(static_cast<size_t>(n) + 1, nullptr);
  std::vector<Section*> sections(static_cast<size_t>(n), nullptr);
  for (int32_t i = 0; i < n; ++i) {
    records[static_cast<size_t>(i)].name = ListItem(text, i);
    list[static_cast<size_t>(i)] = &records[static_cast<size_t>(i)];
  }
  for (int32_t i = 0; i < n; ++i) {
    const StrBuf& name = records[static_cast<size_t>(i)].name;
    if (name.IsEmpty() && !HasSection("")) {
      StrBuf mode;
      GetSettingString(rt_, "", "MODE", mode);
      TakeBoxes("empty-name",
                "item " + Number(i + 1) + " of " + description +
                    " is empty, a section without a name: " + loadAction,
                owner.c_str(), ownerKey.c_str());
      continue;
    }
    sections[static_cast<size_t>(i)] = &CheckSection(name, loadAction);
  }

  for (int32_t i = 0; i < n; ++i) {
    Section* section = sections[static_cast<size_t>(i)];
    if (section == nullptr) continue;
    CheckInList(*section, static_cast<size_t>(i), list.data(), sections);
    if (!section->Is("SWITCH")) continue;
    for (const char* key : {"0", "1"}) {
      const StrBuf* branch = section->Value(key);
      if (branch == nullptr || branch->FieldCount(",") == 0) continue;
      const std::string switchName = records[static_cast<size_t>(i)].name.Text();
      const size_t child = ListFor(*branch, switchName, key);
      ListNode::Edge edge;
      edge.switchName = switchName;
      edge.key = key;
      edge.child = child;
      // A SWITCH named twice in the list leads on once.
      bool known = false;
      for (const ListNode::Edge& e : lists_[index].edges)
        known = known || (e.child == child && Folded(e.switchName) ==
                                                  Folded(switchName) &&
                          e.key == key);
      if (!known) lists_[index].edges.push_back(edge);
    }
  }
}

Checker::Section& Checker::CheckSection(const StrBuf& name,
                                        const std::string& loadAction) {
  const std::string section = name.Text();
  std::unique_ptr<Section>& slot = sections_[Folded(section)];
  if (slot) return *slot;
  slot.reset(new Section);
  Section& s = *slot;
  s.name = section;
  const bool exists = HasSection(section);

  StrBuf mode;
  if (!GetSettingString(rt_, section.c_str(), "MODE", mode)) {
    TakeBoxes(exists ? "missing-key" : "missing-section",
              (exists ? "MODE is missing: " : "there is no such section: ") +
                  loadAction,
              section.c_str(), "MODE");
    if (exists) CheckLines(section, nullptr, false);
    return s;
  }
  CheckExpansion(section, "MODE", mode);
  const Command* command = FindCommand(mode);
  s.command = FindCommandKeys(mode);
  if (command == nullptr || s.command == nullptr) {
    ShowErrorReport(rt_, kMsgBadSymbol, mode.Text());
    TakeBoxes("unknown-mode", "MODE names no command: " + loadAction,
              section.c_str(), "MODE");
    s.command = nullptr;
    CheckLines(section, nullptr, false);
    return s;
  }

  // The command's own loader: what it reports is what a run reports.
  delete command->load(rt_, name);
  TakeBoxes("missing-key", "the key is missing: " + loadAction);

  // The loader stops at the first missing key; every key is looked at.
  for (const char* const* key = s.command->keys; *key != nullptr; ++key) {
    StrBuf value;
    if (!ReadProfileString(platform_, rt_.SettingsPath.Text(),
                           section.c_str(), *key, value)) {
      ShowErrorReport(rt_, kMsgBadFormat, section.c_str(), *key);
      TakeBoxes("missing-key", "the key is missing: " + loadAction,
                section.c_str(), *key);
      continue;
    }
    if (s.command->integerKey != nullptr &&
        std::strcmp(*key, s.command->integerKey) == 0) {
      if (!IsDecimal(value))
        Warn("not-a-number", section, *key,
             Quoted(value.Text()) + " is not a number: the updater uses " +
                 Number(value.ToInt()));
      continue;
    }
    GetSettingString(rt_, section.c_str(), *key, value);
    TakeBoxes("missing-key", "the key is missing: " + loadAction);
    CheckExpansion(section, *key, value);
    s.values[*key] = value;
  }
  CheckLines(section, s.command, true);
  CheckValues(s);
  return s;
}

// The lines of a section: keys written twice, lines that are no key, and,
// when the keys the section's reader takes are known (command, or section
// UPDATER when command is null), keys it never reads.
void Checker::CheckLines(const std::string& section,
                         const CommandKeys* command, bool knownKeys) {
  std::vector<std::string> known;
  if (knownKeys && command == nullptr) known = {"NAME", "PROC", "EXITCODE", "PROGRESS", "ROLLBACK"};
  if (command != nullptr) {
    known.push_back("MODE");
    for (const char* const* key = command->keys; *key != nullptr; ++key)
      known.push_back(*key);
  }
  const std::vector<std::string> lines =
      SectionLines(platform_, rt_.SettingsPath.Text(), section.c_str());
  std::set<std::string> present;
  for (const std::string& line : lines)
    if (line[0] != ';' && line.find('=') != std::string::npos)
      present.insert(Folded(TrimBlanks(line.substr(0, line.find('=')))));
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
    if (!seen.insert(Folded(key)).second) {
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
      read = read || StrBuf(key.c_str()).Equals(name.c_str());
    if (read) continue;
    std::string action =
        (command != nullptr ? std::string(command->mode) : "section UPDATER") +
        " reads no key " + key + ": the updater ignores it";
    for (const std::string& name : known)
      if (key.size() > 1 && Distance(key, name) <= 2 &&
          !present.count(Folded(name)))
        action += " (meant " + name + "?)";
    Warn("unread-key", section, key, action);
  }
}

void Checker::CheckExpansion(const std::string& section, const char* key,
                             const StrBuf& value) {
  const std::vector<std::string> symbols = LeftBlocks(value, '<', '>', false);
  if (!symbols.empty())
    Warn("unexpanded-symbol", section, key,
         Joined(symbols) + (symbols.size() > 1 ? " are" : " is") +
             " no symbol: the updater keeps the text as written, " +
             Quoted(value.Text()));
  const std::vector<std::string> queries = LeftBlocks(value, '{', '}', true);
  if (!queries.empty())
    Warn("unexpanded-query", section, key,
         Joined(queries) + " gives nothing on this machine: the updater "
                           "keeps the text as written, " +
             Quoted(value.Text()));
  const char* sep = rt_.Sep();
  const int32_t n = value.FieldCount(sep);
  for (int32_t i = 1; i < n; ++i) {
    if (value.Field(i, sep).Equals("..")) {
      Warn("dot-dot", section, key,
           "\"" + std::string(sep) +
               "..\" is left after collapsing (it would climb above the "
               "first folder): the updater uses " + Quoted(value.Text()));
      break;
    }
  }
}

// The checks that the executors make when the procedure runs: only the
// decisions, with the helpers the executors use.
void Checker::CheckValues(Section& s) {
  const std::string& name = s.name;
  CheckRoots(s);
  const std::string runs =
      "the run stops with this message when " + name + " runs";

  if (s.command->firstList != nullptr) {
    const StrBuf* first = s.Value(s.command->firstList);
    if (first != nullptr && first->FieldCount(",") == 0) {
      ShowErrorReport(rt_, kMsgItemCount, name.c_str(), s.command->firstList);
      TakeBoxes("empty-list", runs, name.c_str(), s.command->firstList);
    }
  }

  // Sources that must exist when the command runs.
  auto sources = [&](const char* key, const char* use) {
    const StrBuf* list = s.Value(key);
    if (list == nullptr) return;
    const int32_t n = list->FieldCount(",");
    for (int32_t i = 0; i < n; ++i) {
      const StrBuf item = ListItem(*list, i);
      if (s.Is("LAUNCH")) {
        StrBuf folder;
        if (!GetDirectoryPart(rt_, item, folder)) continue;  // an error below
      }
      if (!PathExists(platform_, item.Text()))
        Warn("missing-source", name, key,
             "item " + Number(i + 1) + ", " + Quoted(item.Text()) +
                 ", does not exist on this machine: " + use);
    }
  };
  auto count = [&](const char* key) {
    const StrBuf* list = s.Value(key);
    return list != nullptr ? list->FieldCount(",") : 0;
  };
  auto item = [&](const char* key, int32_t i) {
    const StrBuf* list = s.Value(key);
    return list != nullptr ? ListItem(*list, i) : StrBuf();
  };

  if (s.Is("COPY") || s.Is("MOVE")) {
    sources("FROM", s.Is("COPY") ? "copying it fails unless an earlier step makes it"
                                 : "moving it fails unless an earlier step makes it");
    const int32_t from = count("FROM");
    const int32_t to = count("TO");
    if (s.Value("TO") != nullptr && to < from)
      Warn("short-list", name, "TO",
           "TO has " + Number(to) + (to == 1 ? " item" : " items") + " for " +
               Number(from) + " FROM items: item " + Number(to + 1) +
               " and later go to an empty destination");
  } else if (s.Is("CRC")) {
    sources("FILE", "its checksum cannot be read");
    for (int32_t i = 0; i < count("FILE"); ++i) {
      const StrBuf expected = item("CRC", i);
      if (!expected.IsEmpty() && !IsHex(expected))
        Warn("not-a-number", name, "CRC",
             "item " + Number(i + 1) + ", " + Quoted(expected.Text()) +
                 ", is not a hexadecimal number: the updater compares with " +
                 Hex8(expected.ToHex()));
    }
  } else if (s.Is("LAUNCH")) {
    sources("FILE", "starting it fails");
    for (int32_t i = 0; i < count("FILE"); ++i) {
      const StrBuf file = item("FILE", i);
      StrBuf folder;
      if (GetDirectoryPart(rt_, file, folder)) continue;
      const StrBuf param = item("PARAM", i);
      ShowErrorReport(rt_, kMsgLaunchFailed, file.Text(), param.Text());
      TakeBoxes("no-folder",
                "item " + Number(i + 1) + " has no folder: nothing is "
                "started and " + runs, name.c_str(), "FILE");
    }
  } else if (s.Is("ATTR")) {
    for (int32_t i = 0; i < count("FILE"); ++i) {
      const StrBuf mask = item("ARG", i);
      if (!IsHex(mask))
        Warn("not-a-number", name, "ARG",
             "item " + Number(i + 1) + ", " + Quoted(mask.Text()) +
                 ", is not a hexadecimal attribute mask: the updater sets " +
                 Hex8(mask.ToHex()));
    }
  } else if (s.Is("WAITAPP")) {
    for (int32_t i = 0; i < count("APP"); ++i) {
      const StrBuf tick = item("TICK", i);
      if (IsDecimal(tick)) continue;
      const uint32_t timeout = static_cast<uint32_t>(tick.ToInt());
      Warn("not-a-number", name, "TICK",
           "item " + Number(i + 1) + ", " + Quoted(tick.Text()) +
               ", is not a number: the updater " +
               (timeout == 0 ? std::string("does not wait for ") +
                                   ListItem(*s.Value("APP"), i).Text()
                             : "waits " + Number(timeout) + " ms"));
    }
  } else if (s.Is("MSGBOX")) {
    const StrBuf* type = s.Value("TYPE");
    bool known = false;
    for (const char* word : kBoxTypes)
      known = known || (type != nullptr && type->Equals(word));
    if (type != nullptr && !known) {
      ShowErrorReport(rt_, kMsgBadSymbol, type->Text());
      TakeBoxes("bad-type",
                "TYPE is none of ERROR, INFORMATION, WARNING, QUESTION: the "
                "run stops with this message when " + name +
                    " is to show its box",
                name.c_str(), "TYPE");
    }
    const StrBuf* abort = s.Value("ISABORT");
    if (abort != nullptr &&
        (abort->FieldCount(",") != 2 || !IsDecimal(ListItem(*abort, 0)) ||
         !IsDecimal(ListItem(*abort, 1)))) {
      const bool onYes = abort->Field(0, ",").ToInt() != 0;
      const bool onNo = abort->Field(1, ",").ToInt() != 0;
      Warn("isabort", name, "ISABORT",
           Quoted(abort->Text()) +
               " is not two numbers: the updater stops the run " +
               (onYes && onNo   ? "on every answer"
                : onYes         ? "on OK or Yes only"
                : onNo          ? "on No only"
                                : "on no answer"));
    }
  }
}

// The raw text of item i of a key: the value as written, before symbols and
// queries are expanded.
std::string Checker::RawValue(const std::string& section, const char* key) {
  std::vector<char> buffer(kValueWorkArea);
  platform_.ReadProfileKey(rt_.SettingsPath.Text(), section.c_str(), key, "",
                           buffer.data(), static_cast<uint32_t>(buffer.size()));
  return buffer.data();
}

// The item as it would be on a machine where every folder symbol that can
// be missing there (<Desktop>, <Programs>) and every query block give the
// empty text; symbols of DEFINE stand for their own value, so treated.
std::string Checker::WorstCase(const std::string& raw, int depth) const {
  std::string out;
  for (size_t i = 0; i < raw.size();) {
    const char c = raw[i];
    const size_t close =
        c == '<' ? raw.find('>', i) : c == '{' ? raw.find('}', i) : std::string::npos;
    if (close == std::string::npos) {
      out += c;
      ++i;
      continue;
    }
    const std::string block = raw.substr(i, close + 1 - i);
    i = close + 1;
    if (c == '{') continue;  // a query may give nothing
    const StrBuf symbol(block.c_str());
    if (symbol.Equals("<Desktop>") || symbol.Equals("<Programs>")) continue;
    auto defined = defines_.find(Folded(block));
    if (defined != defines_.end() && depth < 8) {
      out += WorstCase(defined->second, depth + 1);
      continue;
    }
    out += block;
  }
  return out;
}

// True when text, read as a path without the file system's help, is a root
// or a pattern directly in one: it starts at a root ("\", "X:\") and its
// fields after that are only "." and "..", with at most a pattern last.
static bool LexicallyNamesRoot(const std::string& text, const char* sep) {
  const StrBuf path(text.c_str());
  const int32_t n = path.FieldCount(sep);
  if (n < 2) return false;
  int32_t first = 1;
  const StrBuf head = path.Field(0, sep);
  if (!head.IsEmpty()) {
    const char* h = head.Text();
    if (!(head.Length() == 2 && h[1] == ':')) return false;  // relative
  }
  for (int32_t i = first; i < n; ++i) {
    const StrBuf field = path.Field(i, sep);
    if (field.IsEmpty() || field.Equals(".") || field.Equals("..")) continue;
    const bool last = i == n - 1;
    return last && (field.Contains("*") || field.Contains("?"));
  }
  return true;
}

// Items of DELETE, MOVE, ATTR and the destinations of COPY that name a root
// here, or would on a machine where a folder symbol or a query is empty:
// the updater refuses them with the command's message and stops the run.
void Checker::CheckRoots(Section& s) {
  struct Use {
    const char* mode;
    const char* key;
    bool destination;
  };
  static const Use kUses[] = {{"DELETE", "FILE", false}, {"ATTR", "FILE", false},
                              {"MOVE", "FROM", false},   {"MOVE", "TO", true},
                              {"COPY", "TO", true}};
  const char* sep = rt_.Sep();
  for (const Use& use : kUses) {
    if (!s.Is(use.mode)) continue;
    const StrBuf* list = s.Value(use.key);
    if (list == nullptr) continue;
    const StrBuf raw(RawValue(s.name, use.key).c_str());
    const int32_t n = list->FieldCount(",");
    for (int32_t i = 0; i < n; ++i) {
      const StrBuf item = ListItem(*list, i);
      const bool here = use.destination ? WritesIntoRoot(platform_, item)
                                        : NamesRoot(platform_, item);
      const std::string worst = TrimBlanks(WorstCase(ListItem(raw, i).Text(), 0));
      if (!here && !LexicallyNamesRoot(worst, sep)) continue;
      const StrBuf other = ListItem(
          s.Value(use.destination ? "FROM" : "TO") != nullptr
              ? *s.Value(use.destination ? "FROM" : "TO")
              : StrBuf(),
          i);
      if (s.Is("DELETE")) {
        ShowErrorReport(rt_, kMsgDeleteFailed, item.Text());
      } else if (s.Is("ATTR")) {
        const StrBuf* masks = s.Value("ARG");
        ShowErrorReport(rt_, kMsgAttrFailed, item.Text(),
                        static_cast<unsigned>(
                            masks != nullptr ? ListItem(*masks, i).ToHex() : 0));
      } else {
        const StrBuf& source = use.destination ? other : item;
        const StrBuf& target = use.destination ? item : other;
        ShowErrorReport(rt_, s.Is("COPY") ? kMsgCopyFailed : kMsgMoveFailed,
                        source.Text(), target.Text());
      }
      TakeBoxes("root",
                "item " + Number(i + 1) + ", " + Quoted(item.Text()) +
                    (here ? std::string(", names the root of a file system")
                          : ", names the root of a file system where " +
                                Quoted(worst) + " is what it expands to") +
                    ": the updater refuses it and the run stops when " + s.name +
                    " runs",
                s.name.c_str(), use.key);
    }
  }
  if (s.Is("DELETE")) {
    const StrBuf* list = s.Value("FILE");
    const int32_t n = list != nullptr ? list->FieldCount(",") : 0;
    for (int32_t i = 0; i < n; ++i) {
      const StrBuf item = ListItem(*list, i);
      if (item.FieldCount(sep) < 2 || !item.Field(-1, sep).IsEmpty() ||
          NamesRoot(platform_, item))
        continue;
      Warn("never-matches", s.name, "FILE",
           "item " + Number(i + 1) + ", " + Quoted(item.Text()) +
               ", ends with a separator: it never matches anything and "
               "the updater deletes nothing for it");
    }
  }
}

// The checks that look up procedures of the list: SWITCH PROC and MSGBOX
// FLAG, with FindProcedure over the list as loaded.
void Checker::CheckInList(Section& s, size_t position, Procedure** list,
                          const std::vector<Section*>& sections) {
  const std::string& name = s.name;
  auto indexOf = [&](Procedure* target) {
    size_t i = 0;
    while (list[i] != target) ++i;
    return i;
  };
  // A result that is always 0 when it is tested.
  auto constant = [&](Procedure* target, const char* key,
                      const std::string& effect) {
    const size_t at = indexOf(target);
    const Section* tested = sections[at];
    std::string why;
    if (at == position)
      why = "names the procedure itself, whose result is always 0 here";
    else if (at > position)
      why = std::string("names ") + target->name.Text() +
            ", which runs later: its result is always 0 here";
    else if (tested != nullptr && tested->Is("SWITCH"))
      why = std::string("names ") + target->name.Text() +
            ", a SWITCH, whose result is always 0";
    if (!why.empty()) Warn("constant-result", name, key, why + ": " + effect);
  };

  if (s.Is("SWITCH")) {
    const StrBuf* proc = s.Value("PROC");
    if (proc == nullptr) return;
    StrBuf tested = *proc;
    tested.Trim(" ", " ");
    Procedure* target = FindProcedure(list, tested);
    if (target == nullptr) {
      ShowErrorReport(rt_, kMsgBadSymbol, proc->Text());
      TakeBoxes("unknown-procedure",
                "PROC names no procedure of its list: the run stops with "
                "this message when " + name + " runs",
                name.c_str(), "PROC");
      return;
    }
    constant(target, "PROC", "list \"0\" always runs");
  } else if (s.Is("MSGBOX")) {
    const StrBuf* flag = s.Value("FLAG");
    if (flag == nullptr) return;
    const int32_t fields = flag->FieldCount(",");
    if (fields == 1 && !ListItem(*flag, 0).IsEmpty()) {
      Warn("flag-without-value", name, "FLAG",
           "FLAG names a procedure but no value: the box is always shown");
      return;
    }
    if (fields < 2) return;
    Procedure* target = FindProcedure(list, ListItem(*flag, 0));
    if (target == nullptr) {
      ShowErrorReport(rt_, kMsgBadSymbol, flag->Text());
      TakeBoxes("unknown-procedure",
                "FLAG names no procedure of its list: the run stops with "
                "this message when " + name + " runs",
                name.c_str(), "FLAG");
      return;
    }
    const StrBuf value = ListItem(*flag, 1);
    const int32_t wanted = value.ToInt();
    if (!IsDecimal(value) || (wanted != 0 && wanted != 1)) {
      Warn("flag-value", name, "FLAG",
           Quoted(value.Text()) + " is no result (0 or 1): " +
               (wanted == 0 ? "the box is shown when the result is 0"
                            : "the box is never shown"));
      return;
    }
    constant(target, "FLAG",
             wanted == 0 ? "the box is always shown" : "the box is never shown");
  }
}

// The levels each list can stand at (the main list is level 1), over the
// branches that do not lead back; a SWITCH in a list that can stand at the
// updater's bound cannot run a further list.
void Checker::CheckDepth(const std::vector<size_t>& postorder) {
  if (postorder.empty()) return;
  // Bit L: the list can stand at level L. No list is loaded beyond the
  // bound, so the shift drops what would lie beyond it.
  using Levels = std::bitset<static_cast<size_t>(kMaxLevels) + 1>;
  std::vector<Levels> levels(lists_.size());
  levels[postorder.back()].set(1);
  for (auto it = postorder.rbegin(); it != postorder.rend(); ++it)
    for (const ListNode::Edge& edge : lists_[*it].edges)
      if (!edge.back) levels[edge.child] |= levels[*it] << 1;
  for (auto it = postorder.rbegin(); it != postorder.rend(); ++it) {
    if (!levels[*it].test(static_cast<size_t>(kMaxLevels))) continue;
    for (const ListNode::Edge& edge : lists_[*it].edges) {
      ShowErrorReport(rt_, kMsgNestingTooDeep, edge.switchName.c_str());
      TakeBoxes("too-deep",
                "the branch would stand at level " + Number(kMaxLevels + 1) +
                    ", beyond the " + Number(kMaxLevels) +
                    " levels the updater allows: the run stops with this "
                    "message when " + edge.switchName + " takes it there",
                edge.switchName.c_str(), edge.key.c_str());
    }
  }
}

// Sections written twice, and, when the lists could be followed, sections
// that no list reaches.
void Checker::NoteSections(bool reached) {
  std::set<std::string> seen;
  for (const HeaderLine& header : headers_) {
    const std::string folded = Folded(header.name);
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
