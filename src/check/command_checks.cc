// The checker's own checks of each command's values, chosen by the row's
// checker hook: the decisions the executors make when the procedure runs,
// with the helpers the executors use.
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "base/code_page.h"
#include "check/check_text.h"
#include "check/checker.h"
#include "commands/file_commands.h"
#include "commands/file_tree.h"
#include "commands/launch.h"
#include "commands/link.h"
#include "commands/msgbox.h"
#include "run/error_report.h"
#include "run/levels.h"
#include "settings/profile_cache.h"
#include "settings/settings_reader.h"

namespace {

// True when text, read as a path without the file system's help, is a root
// or a pattern directly in one: it starts at a root ("\", "X:\") and its
// fields after that are only "." and "..", with at most a pattern last.
bool LexicallyNamesRoot(const std::string& text, const char* sep,
                        const CodePage& cp) {
  const StrBuf path(text.c_str());
  const int32_t n = path.FieldCount(sep, cp);
  if (n < 2) return false;
  int32_t first = 1;
  const StrBuf head = path.Field(0, sep, cp);
  if (!head.IsEmpty()) {
    const char* h = head.Text();
    if (!(head.Length() == 2 && h[1] == ':')) return false;  // relative
  }
  for (int32_t i = first; i < n; ++i) {
    const StrBuf field = path.Field(i, sep, cp);
    if (field.IsEmpty() || field.Equals(".", cp) || field.Equals("..", cp))
      continue;
    const bool last = i == n - 1;
    return last && (field.Contains("*", cp) || field.Contains("?", cp));
  }
  return true;
}

// The keys of each command that hold paths, and those whose folder the
// updater finds at the last separator (the program's working directory).
struct PathKeys {
  const char* mode;
  const char* keys[2];
  const char* folderKey;
};
const PathKeys kPathKeys[] = {
    {"EXIST", {"FILE"}, nullptr},      {"DATE", {"FILE"}, nullptr},
    {"COPY", {"FROM", "TO"}, nullptr}, {"MOVE", {"FROM", "TO"}, nullptr},
    {"LAUNCH", {"FILE"}, "FILE"},      {"DELETE", {"FILE"}, nullptr},
    {"LINK", {"SRC", "DST"}, "SRC"},   {"MAKEDIR", {"DIR"}, nullptr},
    {"ATTR", {"FILE"}, nullptr},       {"CRC", {"FILE"}, nullptr},
    {"WAITAPP", {"APP"}, nullptr},     {"APPEXIST", {"APP"}, nullptr},
};

// The last of the characters "\\" and "/" in text outside query blocks
// ({?Param\1} keeps "\\" on every build), looking at whole characters
// only; 0 when there is none.
char LastSeparatorOutsideQueries(const char* text, bool anyBackslash,
                                 const CodePage& cp) {
  int depth = 0;
  char last = 0;
  for (const char* p = text; *p != 0; p += cp.CharLength(p)) {
    if (*p == '{') ++depth;
    else if (*p == '}' && depth > 0) --depth;
    else if ((*p == '\\' || *p == '/') && depth == 0) {
      if (*p == '\\' && anyBackslash) return '\\';
      last = *p;
    }
  }
  return last;
}

}  // namespace

struct Checker::CommandHooks {
  using Values = void (*)(Checker& c, Section& s);
  using InList = void (*)(Checker& c, Section& s, size_t position,
                          ProcList list,
                          const std::vector<Section*>& sections);
  struct Hook {
    Values roots;   // before the first list is looked at
    Values values;  // after it
    InList inList;
  };

  static const Hook& For(const Section& s) {
    static const Hook kNone = {nullptr, nullptr, nullptr};
    // Indexed by CheckHook.
    static const Hook kHooks[] = {
        kNone,                                  // kNone
        {nullptr, nullptr, SwitchInList},       // kSwitch
        {nullptr, MsgBoxValues, MsgBoxInList},  // kMsgBox
        {CopyRoots, CopyValues, nullptr},       // kCopy
        {MoveRoots, MoveValues, nullptr},       // kMove
        {DeleteRoots, nullptr, nullptr},        // kDelete
        {AttrRoots, AttrValues, nullptr},       // kAttr
        {nullptr, CrcValues, nullptr},          // kCrc
        {nullptr, LaunchValues, nullptr},       // kLaunch
        {nullptr, WaitAppValues, nullptr},      // kWaitApp
        {MakeDirNames, nullptr, nullptr},       // kMakeDir
        {LinkNames, nullptr, nullptr},          // kLink
    };
    static_assert(
        std::size(kHooks) == static_cast<size_t>(CheckHook::kLink) + 1,
        "one hook for each CheckHook");
    if (s.command == nullptr) return kNone;
    return kHooks[static_cast<size_t>(s.command->check)];
  }

  static std::string Runs(const Section& s) {
    return "the run stops with this message when " + s.name + " runs";
  }
  static int32_t Count(const Checker& c, const Section& s, const char* key) {
    const StrBuf* list = s.Value(key);
    return list != nullptr ? list->FieldCount(",", c.rt_.codePage) : 0;
  }
  static StrBuf Item(const Checker& c, const Section& s, const char* key,
                     int32_t i) {
    const StrBuf* list = s.Value(key);
    return list != nullptr ? ListItem(*list, i, c.rt_.codePage) : StrBuf();
  }
  // Calls each(item, i) for every item of the list under key.
  template <class Each>
  static void EachItem(Checker& c, const Section& s, const char* key,
                       Each each) {
    const StrBuf* list = s.Value(key);
    if (list == nullptr) return;
    const int32_t n = list->FieldCount(",", c.rt_.codePage);
    for (int32_t i = 0; i < n; ++i) each(ListItem(*list, i, c.rt_.codePage), i);
  }
  // Item i of the raw value as it expands where folder symbols and queries
  // are empty.
  static std::string WorstItem(Checker& c, const StrBuf& raw, int32_t i) {
    return TrimBlanks(c.WorstCase(ListItem(raw, i, c.rt_.codePage).Text(), 0));
  }

  // Sources that must exist when the command runs; with folders set, only
  // the items that have a folder (the others are an error of their own).
  static void Sources(Checker& c, Section& s, const char* key, const char* use,
                      bool folders = false) {
    EachItem(c, s, key, [&](const StrBuf& item, int32_t i) {
      StrBuf folder;
      if (folders && !GetDirectoryPart(c.rt_, item, folder)) return;
      if (!PathExists(c.platform_, item.Text()))
        c.Warn("missing-source", s.name, key,
               "item " + Number(i + 1) + ", " + Quoted(item.Text()) +
                   ", does not exist on this machine: " + use);
    });
  }

  // Items of key that name a root here, or would on a machine where a
  // folder symbol or a query is empty: the updater refuses them with the
  // command's message (made by report for the item and the item of the
  // other list at the same position) and stops the run.
  template <class Report>
  static void Roots(Checker& c, Section& s, const char* key, bool destination,
                    Report report) {
    const char* sep = c.rt_.Sep();
    const StrBuf raw(c.RawValue(s.name, key).c_str());
    EachItem(c, s, key, [&](const StrBuf& item, int32_t i) {
      // A device is reported as such, and never opened to find its root.
      if (NamesDevice(c.platform_, item)) return;
      const bool here = destination ? WritesIntoRoot(c.platform_, item)
                                    : NamesRoot(c.platform_, item);
      const std::string worst = WorstItem(c, raw, i);
      if (!here && !LexicallyNamesRoot(worst, sep, c.rt_.codePage)) return;
      const StrBuf other = Item(c, s, destination ? "FROM" : "TO", i);
      report(item, other, i);
      c.TakeReports("root",
                    "item " + Number(i + 1) + ", " + Quoted(item.Text()) +
                        (here ? std::string(", names the root of a file system")
                              : ", names the root of a file system where " +
                                    Quoted(worst) + " is what it expands to") +
                        ": the updater refuses it and the run stops when " +
                        s.name + " runs",
                    s.name.c_str(), key);
    });
  }

  // Items of key that the updater refuses for their names: a device name
  // (on Windows), and, with empty set, an empty component where a name
  // belongs; the latter also as a warning where a folder symbol or a query
  // left empty would make one.
  template <class Report>
  static void Names(Checker& c, Section& s, const char* key, bool empty,
                    Report report) {
    const StrBuf raw(c.RawValue(s.name, key).c_str());
    EachItem(c, s, key, [&](const StrBuf& item, int32_t i) {
      // A root is reported as such.
      if (NamesRoot(c.platform_, item) || WritesIntoRoot(c.platform_, item))
        return;
      const StrBuf other =
          Item(c, s, std::strcmp(key, "TO") == 0 ? "FROM" : "TO", i);
      const std::string head =
          "item " + Number(i + 1) + ", " + Quoted(item.Text()) + ", ";
      const std::string refused =
          ": the updater refuses it and the run stops when " + s.name +
          " runs";
      if (NamesDevice(c.platform_, item)) {
        report(item, other, i);
        c.TakeReports("device", head + "names a device of the system" + refused,
                      s.name.c_str(), key);
        return;
      }
      if (!empty) return;
      if (HasEmptyName(c.platform_, item)) {
        report(item, other, i);
        c.TakeReports("empty-component",
                      head + "has an empty component where a name belongs" +
                          refused,
                      s.name.c_str(), key);
        return;
      }
      const std::string worst = WorstItem(c, raw, i);
      if (HasEmptyName(c.platform_, StrBuf(worst.c_str())))
        c.Warn("empty-component", s.name, key,
               head + "has an empty component where " + Quoted(worst) +
                   " is what it expands to: there the updater refuses it "
                   "and the run stops when " + s.name + " runs");
    });
  }

  // Entries named as devices in the trees that the items of key walk
  // (WalkTree with recursive), as they are on this machine: the updater
  // never acts on them, and fails the item when its walk meets one. Only
  // listed, never opened; nothing on the Linux build, where they are
  // names.
  static void DeviceEntries(Checker& c, Section& s, const char* key,
                            int recursive) {
    EachItem(c, s, key, [&](const StrBuf& item, int32_t i) {
      std::vector<std::string> found;
      const size_t count =
          FindDeviceEntries(c.platform_, item, recursive, found, 1);
      if (count == 0) return;
      c.Warn("device-entry", s.name, key,
             "item " + Number(i + 1) + ", " + Quoted(item.Text()) +
                 ", meets " + Quoted(found.front()) +
                 (count > 1 ? " and " + Number(static_cast<long long>(count) -
                                               1) +
                                  " more"
                            : std::string()) +
                 ", named as a device of the system: the updater never "
                 "acts on it, and the item fails where the walk meets it "
                 "and the run stops when " +
                 s.name + " runs");
    });
  }

  // Directory copies and moves into their own source, by identity: the
  // updater refuses them before anything is made.
  static void IntoItself(Checker& c, Section& s, uint32_t id) {
    for (int32_t i = 0; i < Count(c, s, "FROM"); ++i) {
      const StrBuf from = Item(c, s, "FROM", i);
      const StrBuf to = Item(c, s, "TO", i);
      if (from.IsEmpty() || to.IsEmpty() ||
          !IsDirectory(c.platform_, from.Text()) ||
          NamesRoot(c.platform_, from) ||  // reported as a root
          !DestinationWithin(c.platform_, to, from))
        continue;
      ShowErrorReport(c.rt_, id, from.Text(), to.Text());
      c.TakeReports("into-itself",
                    "item " + Number(i + 1) + ", " + Quoted(to.Text()) +
                        ", lies inside the source " + Quoted(from.Text()) +
                        ": the updater refuses it and the run stops when " +
                        s.name + " runs",
                    s.name.c_str(), "TO");
    }
  }

  static void MakeDirNames(Checker& c, Section& s) {
    Names(c, s, "DIR", false, [&](const StrBuf& item, const StrBuf&, int32_t) {
      ShowErrorReport(c.rt_, kMsgMakeDirFailed, item.Text());
    });
  }

  static void LinkNames(Checker& c, Section& s) {
    for (int32_t i = 0; i < Count(c, s, "SRC"); ++i) {
      const StrBuf link = Item(c, s, "DST", i);
      if (!NamesDevice(c.platform_, link.Concat(".LNK"))) continue;
      ShowErrorReport(c.rt_, kMsgLinkFailed, Item(c, s, "SRC", i).Text(),
                      link.Text());
      c.TakeReports("device",
                    "item " + Number(i + 1) + ", " + Quoted(link.Text()) +
                        ", names a device of the system: the updater "
                        "refuses it and the run stops when " + s.name +
                        " runs",
                    s.name.c_str(), "DST");
    }
  }

  static void DeleteRoots(Checker& c, Section& s) {
    Roots(c, s, "FILE", false, [&](const StrBuf& item, const StrBuf&, int32_t) {
      ShowErrorReport(c.rt_, kMsgDeleteFailed, item.Text());
    });
    Names(c, s, "FILE", true, [&](const StrBuf& item, const StrBuf&, int32_t) {
      ShowErrorReport(c.rt_, kMsgDeleteFailed, item.Text());
    });
    DeviceEntries(c, s, "FILE", 1);
    const char* sep = c.rt_.Sep();
    EachItem(c, s, "FILE", [&](const StrBuf& item, int32_t i) {
      if (item.FieldCount(sep, c.rt_.codePage) < 2 ||
          !item.Field(-1, sep, c.rt_.codePage).IsEmpty() ||
          NamesRoot(c.platform_, item))
        return;
      c.Warn("never-matches", s.name, "FILE",
             "item " + Number(i + 1) + ", " + Quoted(item.Text()) +
                 ", ends with a separator: it never matches anything and "
                 "the updater deletes nothing for it");
    });
  }

  static void AttrRoots(Checker& c, Section& s) {
    auto report = [&](const StrBuf& item, const StrBuf&, int32_t i) {
      const StrBuf* masks = s.Value("ARG");
      ShowErrorReport(
          c.rt_, kMsgAttrFailed, item.Text(),
          static_cast<unsigned>(
              masks != nullptr ? ListItem(*masks, i, c.rt_.codePage).ToHex()
                               : 0));
    };
    Roots(c, s, "FILE", false, report);
    Names(c, s, "FILE", true, report);
  }

  static void MoveRoots(Checker& c, Section& s) {
    Roots(c, s, "FROM", false,
          [&](const StrBuf& item, const StrBuf& other, int32_t) {
            ShowErrorReport(c.rt_, kMsgMoveFailed, item.Text(), other.Text());
          });
    Roots(c, s, "TO", true,
          [&](const StrBuf& item, const StrBuf& other, int32_t) {
            ShowErrorReport(c.rt_, kMsgMoveFailed, other.Text(), item.Text());
          });
    Names(c, s, "FROM", true,
          [&](const StrBuf& item, const StrBuf& other, int32_t) {
            ShowErrorReport(c.rt_, kMsgMoveFailed, item.Text(), other.Text());
          });
    Names(c, s, "TO", false,
          [&](const StrBuf& item, const StrBuf& other, int32_t) {
            ShowErrorReport(c.rt_, kMsgMoveFailed, other.Text(), item.Text());
          });
    IntoItself(c, s, kMsgMoveFailed);
  }

  static void CopyRoots(Checker& c, Section& s) {
    Roots(c, s, "TO", true,
          [&](const StrBuf& item, const StrBuf& other, int32_t) {
            ShowErrorReport(c.rt_, kMsgCopyFailed, other.Text(), item.Text());
          });
    Names(c, s, "FROM", false,
          [&](const StrBuf& item, const StrBuf& other, int32_t) {
            ShowErrorReport(c.rt_, kMsgCopyFailed, item.Text(), other.Text());
          });
    Names(c, s, "TO", false,
          [&](const StrBuf& item, const StrBuf& other, int32_t) {
            ShowErrorReport(c.rt_, kMsgCopyFailed, other.Text(), item.Text());
          });
    IntoItself(c, s, kMsgCopyFailed);
  }

  // Fewer destinations than sources.
  static void ShortTo(Checker& c, Section& s) {
    const int32_t from = Count(c, s, "FROM");
    const int32_t to = Count(c, s, "TO");
    if (s.Value("TO") != nullptr && to < from)
      c.Warn("short-list", s.name, "TO",
             "TO has " + Number(to) + (to == 1 ? " item" : " items") + " for " +
                 Number(from) + " FROM items: item " + Number(to + 1) +
                 " and later go to an empty destination");
  }

  static void CopyValues(Checker& c, Section& s) {
    Sources(c, s, "FROM", "copying it fails unless an earlier step makes it");
    DeviceEntries(c, s, "FROM", 1);
    ShortTo(c, s);
  }

  static void MoveValues(Checker& c, Section& s) {
    Sources(c, s, "FROM", "moving it fails unless an earlier step makes it");
    DeviceEntries(c, s, "FROM", 1);
    ShortTo(c, s);
  }

  static void CrcValues(Checker& c, Section& s) {
    Sources(c, s, "FILE", "its checksum cannot be read");
    for (int32_t i = 0; i < Count(c, s, "FILE"); ++i) {
      const StrBuf expected = Item(c, s, "CRC", i);
      if (!expected.IsEmpty() && !IsHex(expected))
        c.Warn("not-a-number", s.name, "CRC",
               "item " + Number(i + 1) + ", " + Quoted(expected.Text()) +
                   ", is not a hexadecimal number: the updater compares "
                   "with " +
                   Hex8(expected.ToHex()));
    }
  }

  static void LaunchValues(Checker& c, Section& s) {
    Sources(c, s, "FILE", "starting it fails", true);
    for (int32_t i = 0; i < Count(c, s, "FILE"); ++i) {
      const StrBuf file = Item(c, s, "FILE", i);
      StrBuf folder;
      if (GetDirectoryPart(c.rt_, file, folder)) continue;
      const StrBuf param = Item(c, s, "PARAM", i);
      ShowErrorReport(c.rt_, kMsgLaunchFailed, file.Text(), param.Text());
      c.TakeReports("no-folder",
                    "item " + Number(i + 1) +
                        " has no folder: nothing is started and " + Runs(s),
                    s.name.c_str(), "FILE");
    }
  }

  static void AttrValues(Checker& c, Section& s) {
    DeviceEntries(c, s, "FILE", 0);
    for (int32_t i = 0; i < Count(c, s, "FILE"); ++i) {
      const StrBuf mask = Item(c, s, "ARG", i);
      if (!IsHex(mask))
        c.Warn("not-a-number", s.name, "ARG",
               "item " + Number(i + 1) + ", " + Quoted(mask.Text()) +
                   ", is not a hexadecimal attribute mask: the updater sets " +
                   Hex8(mask.ToHex()));
    }
  }

  static void WaitAppValues(Checker& c, Section& s) {
    for (int32_t i = 0; i < Count(c, s, "APP"); ++i) {
      const StrBuf tick = Item(c, s, "TICK", i);
      bool inRange = true;
      const uint32_t timeout = TickTimeout(tick, &inRange);
      if (!inRange) {
        c.Warn("tick-range", s.name, "TICK",
               "item " + Number(i + 1) + ", " + Quoted(tick.Text()) +
                   ", is outside -1 and 0 to " + Number(kLongestTick) +
                   ": the updater " +
                   (timeout == 0 ? std::string("does not wait")
                                 : "waits " + Number(timeout) + " ms"));
        continue;
      }
      if (IsDecimal(tick)) continue;
      c.Warn("not-a-number", s.name, "TICK",
             "item " + Number(i + 1) + ", " + Quoted(tick.Text()) +
                 ", is not a number: the updater " +
                 (timeout == 0
                      ? std::string("does not wait for ") +
                            ListItem(*s.Value("APP"), i, c.rt_.codePage).Text()
                      : "waits " + Number(timeout) + " ms"));
    }
  }

  static void MsgBoxValues(Checker& c, Section& s) {
    const std::string& name = s.name;
    const StrBuf* type = s.Value("TYPE");
    if (type != nullptr && FindBoxKind(*type, c.rt_.codePage) == nullptr) {
      std::vector<std::string> words;
      for (const BoxKind& kind : kBoxKinds) words.push_back(kind.word);
      ShowErrorReport(c.rt_, kMsgBadSymbol, type->Text());
      c.TakeReports("bad-type",
                    "TYPE is none of " + Joined(words) +
                        ": the run stops with this message when " + name +
                        " is to show its box",
                    name.c_str(), "TYPE");
    }
    const StrBuf* abort = s.Value("ISABORT");
    if (abort != nullptr && (abort->FieldCount(",", c.rt_.codePage) != 2 ||
                             !IsDecimal(ListItem(*abort, 0, c.rt_.codePage)) ||
                             !IsDecimal(ListItem(*abort, 1, c.rt_.codePage)))) {
      const bool onYes = abort->Field(0, ",", c.rt_.codePage).ToInt() != 0;
      const bool onNo = abort->Field(1, ",", c.rt_.codePage).ToInt() != 0;
      c.Warn("isabort", name, "ISABORT",
             Quoted(abort->Text()) +
                 " is not two numbers: the updater stops the run " +
                 (onYes && onNo ? "on every answer"
                  : onYes       ? "on OK or Yes only"
                  : onNo        ? "on No only"
                                : "on no answer"));
    }
  }

  // A result that is always 0 when the procedure at position tests target.
  static void Constant(Checker& c, Section& s, size_t position,
                       ProcList list, const std::vector<Section*>& sections,
                       Procedure* target, const char* key,
                       const std::string& effect) {
    int32_t found = 0;
    while ((*list)[found] != target) ++found;
    const size_t at = static_cast<size_t>(found);
    const Section* tested = sections[at];
    std::string why;
    if (at == position)
      why = "names the procedure itself, whose result is always 0 here";
    else if (at > position)
      why = std::string("names ") + target->name.Text() +
            ", which runs later: its result is always 0 here";
    else if (tested != nullptr && tested->command != nullptr &&
             tested->command->check == CheckHook::kSwitch)
      why = std::string("names ") + target->name.Text() +
            ", a SWITCH, whose result is always 0";
    if (!why.empty())
      c.Warn("constant-result", s.name, key, why + ": " + effect);
  }

  static void SwitchInList(Checker& c, Section& s, size_t position,
                           ProcList list,
                           const std::vector<Section*>& sections) {
    const StrBuf* proc = s.Value("PROC");
    if (proc == nullptr) return;
    StrBuf tested = *proc;
    tested.Trim(" ", " ", c.rt_.codePage);
    Procedure* target = FindProcedure(list, tested, c.rt_.codePage);
    if (target == nullptr) {
      ShowErrorReport(c.rt_, kMsgBadSymbol, proc->Text());
      c.TakeReports("unknown-procedure",
                    "PROC names no procedure of its list: the run stops with "
                    "this message when " +
                        s.name + " runs",
                    s.name.c_str(), "PROC");
      return;
    }
    Constant(c, s, position, list, sections, target, "PROC",
             "list \"0\" always runs");
  }

  static void MsgBoxInList(Checker& c, Section& s, size_t position,
                           ProcList list,
                           const std::vector<Section*>& sections) {
    const std::string& name = s.name;
    const StrBuf* flag = s.Value("FLAG");
    if (flag == nullptr) return;
    const int32_t fields = flag->FieldCount(",", c.rt_.codePage);
    if (fields == 1 && !ListItem(*flag, 0, c.rt_.codePage).IsEmpty()) {
      c.Warn("flag-without-value", name, "FLAG",
             "FLAG names a procedure but no value: the box is always shown");
      return;
    }
    if (fields < 2) return;
    Procedure* target =
        FindProcedure(list, ListItem(*flag, 0, c.rt_.codePage), c.rt_.codePage);
    if (target == nullptr) {
      ShowErrorReport(c.rt_, kMsgBadSymbol, flag->Text());
      c.TakeReports("unknown-procedure",
                    "FLAG names no procedure of its list: the run stops with "
                    "this message when " +
                        name + " runs",
                    name.c_str(), "FLAG");
      return;
    }
    const StrBuf value = ListItem(*flag, 1, c.rt_.codePage);
    const int32_t wanted = value.ToInt();
    if (!IsDecimal(value) || (wanted != 0 && wanted != 1)) {
      c.Warn("flag-value", name, "FLAG",
             Quoted(value.Text()) + " is no result (0 or 1): " +
                 (wanted == 0 ? "the box is shown when the result is 0"
                              : "the box is never shown"));
      return;
    }
    Constant(
        c, s, position, list, sections, target, "FLAG",
        wanted == 0 ? "the box is always shown" : "the box is never shown");
  }
};

// A path written with the other build's separator: on Linux a "\" is a
// character of a name; on Windows the folder of a program (LAUNCH FILE,
// LINK SRC) ends at the last "\", so a path written with "/" has none.
void Checker::CheckSeparators(Section& s) {
  if (s.command == nullptr) return;
  const bool posix = std::strcmp(rt_.Sep(), "/") == 0;
  for (const PathKeys& row : kPathKeys) {
    if (std::strcmp(row.mode, s.command->mode) != 0) continue;
    for (const char* key : row.keys) {
      if (key == nullptr) continue;
      if (!posix && (row.folderKey == nullptr ||
                     std::strcmp(key, row.folderKey) != 0))
        continue;
      // Linux: any "\\"; Windows: a "/" after the last "\\".
      const char wrong = posix ? '\\' : '/';
      const int32_t n = CommandHooks::Count(*this, s, key);
      for (int32_t i = 0; i < n; ++i) {
        const StrBuf item = CommandHooks::Item(*this, s, key, i);
        if (LastSeparatorOutsideQueries(item.Text(), posix, rt_.codePage) !=
            wrong)
          continue;
        Warn("separator", s.name, key,
             "item " + Number(i + 1) + ", " + Quoted(item.Text()) +
                 (posix ? ", holds \"\\\": on Linux it is part of a name, "
                          "not a separator; write \"/\""
                        : ", holds \"/\": the program's folder is found at "
                          "the last \"\\\", so write \"\\\""));
      }
    }
  }
}

void Checker::CheckValues(Section& s) {
  CheckSeparators(s);
  const CommandHooks::Hook& hook = CommandHooks::For(s);
  if (hook.roots != nullptr) hook.roots(*this, s);
  if (s.command->firstList != nullptr) {
    const StrBuf* first = s.Value(s.command->firstList);
    if (first != nullptr && first->FieldCount(",", rt_.codePage) == 0) {
      ShowErrorReport(rt_, kMsgItemCount, s.name.c_str(), s.command->firstList);
      TakeReports("empty-list", CommandHooks::Runs(s), s.name.c_str(),
                  s.command->firstList);
    }
  }
  if (hook.values != nullptr) hook.values(*this, s);
}

void Checker::CheckInList(Section& s, size_t position, ProcList list,
                          const std::vector<Section*>& sections) {
  const CommandHooks::Hook& hook = CommandHooks::For(s);
  if (hook.inList != nullptr) hook.inList(*this, s, position, list, sections);
}

// The raw text of item i of a key: the value as written, before symbols and
// queries are expanded.
std::string Checker::RawValue(const std::string& section, const char* key) {
  std::vector<char> buffer(kValueWorkArea);
  SettingsFile(rt_).ReadKey(rt_.SettingsPath.Text(), section.c_str(), key, "",
                            buffer.data(),
                            static_cast<uint32_t>(buffer.size()));
  return buffer.data();
}

// The item as it would be on a machine where every folder symbol that can
// be missing there (<Desktop>, <Programs>) and every query block give the
// empty text; symbols of DEFINE stand for their own value, so treated.
std::string Checker::WorstCase(const std::string& raw, int depth) const {
  std::string out;
  for (size_t i = 0; i < raw.size();) {
    const char c = raw[i];
    const size_t close = c == '<'   ? raw.find('>', i)
                         : c == '{' ? raw.find('}', i)
                                    : std::string::npos;
    if (close == std::string::npos) {
      out += c;
      ++i;
      continue;
    }
    const std::string block = raw.substr(i, close + 1 - i);
    i = close + 1;
    if (c == '{') continue;  // a query may give nothing
    const StrBuf symbol(block.c_str());
    if (symbol.Equals("<Desktop>", rt_.codePage) ||
        symbol.Equals("<Programs>", rt_.codePage))
      continue;
    auto defined = defines_.find(Folded(block, rt_.codePage));
    if (defined != defines_.end() && depth < 8) {
      out += WorstCase(defined->second, depth + 1);
      continue;
    }
    out += block;
  }
  return out;
}
