// The symbol table (DEFINE entries and the built-in folder symbols) and the
// three passes every text value goes through: symbol references, query
// blocks, and the collapsing of ".." path components.
//
// The passes walk a value once from its start, as the block and field
// operations of StrBuf would find its parts, but without starting over from
// the beginning for every block: a value costs one scan plus the
// replacements made in it. Every result is bounded by kMaxExpandedLength.
#include "settings/symbols.h"

#include <cstring>

#include "base/code_page.h"
#include "run/error_report.h"
#include "run/runtime.h"
#include "settings/settings_reader.h"

namespace {

// Special folders of the built-in symbols (CSIDL numbers).
constexpr int kCommonDesktopDirectory = 0x19;
constexpr int kDesktopDirectory = 0x10;
constexpr int kCommonPrograms = 0x17;
constexpr int kPrograms = 0x02;

// The argument separator of query blocks, the same on every platform.
constexpr const char* kQuerySeparator = "\\";

// The position of the character after the one at i. An ASCII byte is a
// character of its own in every code page.
size_t Advance(const std::string& text, size_t i, const CodePage& cp) {
  if (static_cast<unsigned char>(text[i]) < 0x80) return i + 1;
  return i + static_cast<size_t>(cp.CharLength(text.c_str() + i));
}

// Outermost blocks between a one-byte opening and a one-byte closing
// delimiter, found by the rules of StrBuf's block operations: the scan takes
// an opening delimiter only when a closing one follows somewhere after it
// (otherwise the scan ends there), a closing delimiter lowers the depth even
// below 0 (so a stray closing delimiter keeps every later block from being
// counted), and a block whose closing delimiter is missing runs to the end.
//
// The walk keeps a cursor: after a block that is kept, the next one is
// searched from behind it; after a block that is replaced, from the start of
// the replacement, which is where a fresh search of the new text for the
// same block index would arrive, since the text before it is unchanged.
class BlockWalk {
 public:
  BlockWalk(const char* text, char open, char close, const CodePage& cp)
      : text(text), cp_(cp), open_(open), close_(close) {
    for (size_t i = 0; i < this->text.size(); i = Advance(this->text, i, cp_)) {
      if (this->text[i] == close_) lastClose_ = i;
    }
  }

  // The number of blocks in the text as it is now (StrBuf::BlockCount).
  int32_t Count() const {
    int32_t depth = 0;
    int32_t count = 0;
    size_t pos = 0;
    size_t at = 0;
    for (Step step = Next(pos, at); step != Step::kNone; step = Next(pos, at)) {
      pos = at + 1;
      if (step == Step::kOpen) {
        ++depth;
      } else if (--depth == 0) {
        ++count;
      }
    }
    return count;
  }

  // The next block from the cursor: its first and last byte, delimiters
  // included. The cursor moves behind it.
  bool NextBlock(size_t& first, size_t& last) {
    size_t at = 0;
    for (;;) {
      const Step step = Take(at);
      if (step == Step::kNone) return false;
      if (step == Step::kOpen && depth_++ == 0) {
        first = at;
        closeBeforeBlock_ = closeSeen_;
        break;
      }
      if (step == Step::kClose) --depth_;
    }
    for (;;) {
      const Step step = Take(at);
      if (step == Step::kNone) {
        last = text.size() - 1;
        return true;
      }
      if (step == Step::kOpen) {
        ++depth_;
      } else if (--depth_ == 0) {
        last = at;
        return true;
      }
    }
  }

  // Replaces the block just found; the cursor goes back to its start, so
  // the replacement is searched next. False, with nothing changed, when the
  // text would become longer than kMaxExpandedLength.
  bool Replace(size_t first, size_t last, const char* value) {
    const size_t length = std::strlen(value);
    const size_t removed = last - first + 1;
    if (text.size() - removed + length >
        static_cast<size_t>(kMaxExpandedLength)) {
      return false;
    }
    text.replace(first, removed, value, length);
    // The last closing delimiter: still behind the block, or else the last
    // one of the value, or else the last one before the block.
    if (lastClose_ != kNone && lastClose_ > last) {
      lastClose_ = lastClose_ - removed + length;
    } else {
      lastClose_ = closeBeforeBlock_;
      for (size_t i = first; i < first + length; i = Advance(text, i, cp_)) {
        if (text[i] == close_) lastClose_ = i;
      }
    }
    pos_ = first;
    depth_ = 0;
    closeSeen_ = closeBeforeBlock_;
    return true;
  }

  std::string text;

 private:
  enum class Step { kNone, kOpen, kClose };
  static constexpr size_t kNone = static_cast<size_t>(-1);

  // The step at or after pos (a character boundary); at receives the
  // delimiter's position. An opening delimiter is a step only when a
  // closing one follows it.
  Step Next(size_t pos, size_t& at) const {
    if (lastClose_ == kNone || lastClose_ < pos) return Step::kNone;
    for (size_t i = pos; i <= lastClose_; i = Advance(text, i, cp_)) {
      if (text[i] == close_) {
        at = i;
        return Step::kClose;
      }
      if (text[i] == open_) {
        at = i;
        return i < lastClose_ ? Step::kOpen : Step::kNone;
      }
    }
    return Step::kNone;
  }

  // Takes the next step from the cursor.
  Step Take(size_t& at) {
    const Step step = Next(pos_, at);
    if (step == Step::kNone) {
      pos_ = text.size();
      return step;
    }
    pos_ = at + 1;
    if (step == Step::kClose) closeSeen_ = at;
    return step;
  }

  const CodePage& cp_;
  char open_;
  char close_;
  size_t pos_ = 0;
  int32_t depth_ = 0;
  size_t lastClose_ = kNone;         // the last closing delimiter of the text
  size_t closeSeen_ = kNone;         // the last one before the cursor
  size_t closeBeforeBlock_ = kNone;  // the last one before the current block
};

// The fields of text between occurrences of separator, found character by
// character as StrBuf's field operations find them.
std::vector<std::string> SplitFields(const std::string& text,
                                     const char* separator,
                                     const CodePage& cp) {
  std::vector<std::string> fields;
  const size_t length = std::strlen(separator);
  size_t begin = 0;
  for (size_t i = 0; i < text.size();) {
    if (text.compare(i, length, separator) == 0) {
      fields.push_back(text.substr(begin, i - begin));
      i += length;
      begin = i;
    } else {
      i = Advance(text, i, cp);
    }
  }
  fields.push_back(text.substr(begin));
  return fields;
}

// The words of the command line that {?Param\...} asks for.
StrBuf ParamWords(const StrBuf& commandLine, const StrBuf& query,
                  const CodePage& cp) {
  if (query.FieldCount(kQuerySeparator, cp) != 3) {
    return commandLine.Word(query.Field(1, kQuerySeparator, cp).ToInt(), cp);
  }
  const int32_t count = commandLine.WordCount(cp);
  int64_t first = query.Field(1, kQuerySeparator, cp).ToInt();
  int64_t last = query.Field(2, kQuerySeparator, cp).ToInt();
  if (first < 0) first += count;
  if (last < 0) last += count;
  // A word index still negative is counted from the end once more, as
  // StrBuf::Word does; beyond that, and beyond the last word, a word is
  // empty. A range of empty words still grows by ", " per index, so the
  // result is capped like every expanded value.
  std::string words;
  for (int64_t d = first; d <= last; ++d) {
    if (d != first) words += ", ";
    if (d >= -count && d < count) {
      words += commandLine.Word(static_cast<int32_t>(d), cp).Text();
    }
    if (words.size() > static_cast<size_t>(kMaxExpandedLength)) break;
  }
  return StrBuf(words.c_str());
}

// What a query block asks for; false when it stays as written.
bool AnswerQuery(Runtime& rt, StrBuf& query) {
  query.Trim("{", "}", rt.codePage);
  const StrBuf keyword = query.Field(0, kQuerySeparator, rt.codePage);
  if (keyword.Equals("?App", rt.codePage)) {
    return rt.platform.system().FindAppPath(
        query.Field(1, kQuerySeparator, rt.codePage).Text(),
        AppPathValue::kExecutable, query);
  }
  if (keyword.Equals("?AppPath", rt.codePage)) {
    if (!rt.platform.system().FindAppPath(
            query.Field(1, kQuerySeparator, rt.codePage).Text(),
            AppPathValue::kPathList, query)) {
      return false;
    }
    query.Trim("", rt.Sep(), rt.codePage);
    query.Trim("", ";", rt.codePage);
    return true;
  }
  if (keyword.Equals("?SpFolder", rt.codePage)) {
    const int folder =
        static_cast<int>(query.Field(1, kQuerySeparator, rt.codePage).ToHex());
    if (!GetSpecialFolderPath(rt, query, folder)) return false;
    query.Trim("", rt.Sep(), rt.codePage);
    return true;
  }
  if (keyword.Equals("?Param", rt.codePage)) {
    query = ParamWords(rt.CommandLine, query, rt.codePage);
    return true;
  }
  return false;
}

// A quick test before the block walk: a text without both delimiters has
// no block.
bool MayHaveBlocks(const StrBuf& text, char open, char close) {
  return std::strchr(text.Text(), open) != nullptr &&
         std::strchr(text.Text(), close) != nullptr;
}

}  // namespace

bool LoadSymbols(Runtime& rt) {
  rt.SymbolTable.Clear();
  rt.SymbolCount = 0;

  // The DEFINE lines, one entry each: the name is the text before the first
  // "=", the value the text up to the next "=" (or the end of the line).
  StrBuf lines;
  if (ReadProfileSection(SettingsFile(rt), rt.SettingsPath.Text(), "DEFINE",
                         lines) == kSectionNoMemory)
    return ShowErrorReport(rt, kMsgOutOfMemory, "DEFINE");
  const std::string all = lines.Text();
  for (size_t begin = 0; begin < all.size();) {
    size_t end = all.find('\n', begin);
    if (end == std::string::npos) end = all.size();
    const StrBuf line(all.substr(begin, end - begin).c_str());
    rt.SymbolTable.Add(line.Field(0, "=", rt.codePage).Text(),
                       line.Field(1, "=", rt.codePage), rt.codePage);
    begin = end + 1;
  }
  rt.SymbolCount = rt.SymbolTable.Size();

  // The built-in folders. A folder the platform cannot give is empty.
  const char* sep = rt.Sep();
  StrBuf work;
  if (!rt.platform.system().WindowsDirectory(work)) work.Assign("");
  DefineSymbol(rt, "<Win>", work);
  if (!rt.platform.system().SystemDirectory(work)) work.Assign("");
  DefineSymbol(rt, "<Sys>", work);
  DefineSymbol(rt, "<Src>", rt.ModulePath.Fields(0, -2, sep, rt.codePage));
  const bool nt = IsNtPlatform(rt);
  if (!GetSpecialFolderPath(rt, work,
                            nt ? kCommonDesktopDirectory : kDesktopDirectory))
    work.Assign("");
  DefineSymbol(rt, "<Desktop>", work);
  if (!GetSpecialFolderPath(rt, work, nt ? kCommonPrograms : kPrograms))
    work.Assign("");
  DefineSymbol(rt, "<Programs>", work);
  if (!rt.platform.system().TempPath(work)) work.Assign("");
  // The temporary directory comes with a trailing separator; the symbol
  // has none.
  if (work.CountOf(sep, rt.codePage) != 0 &&
      work.Field(-1, sep, rt.codePage).IsEmpty()) {
    work = work.Fields(0, -2, sep, rt.codePage);
  }
  DefineSymbol(rt, "<Temp>", work);

  ExpandDefinitions(rt);
  return true;
}

bool LookupSymbol(Runtime& rt, const char* name, StrBuf& out) {
  const int32_t i = rt.SymbolTable.Find(name, rt.codePage);
  if (i < 0 || i >= rt.SymbolCount) return false;
  out.Assign(rt.SymbolTable[i].value);
  return true;
}

void DefineSymbol(Runtime& rt, const char* name, const StrBuf& value) {
  const int32_t i = rt.SymbolTable.Find(name, rt.codePage);
  if (i >= 0 && i < rt.SymbolCount) {
    rt.SymbolTable[i].value.Assign(value);
    return;
  }
  rt.SymbolTable.Add(name, value, rt.codePage);
  rt.SymbolCount = rt.SymbolTable.Size();
}

// Entries are expanded in table order: a reference to an entry further down
// receives that entry's value as it stood before its own expansion.
void ExpandDefinitions(Runtime& rt) {
  for (int32_t i = 0; i < rt.SymbolCount; ++i) {
    StrBuf value = rt.SymbolTable[i].value;
    const bool symbols = ExpandSymbols(rt, value);
    const bool queries = ExpandQueries(rt, value);
    const bool dots = CollapseDotDot(rt, value);
    if (symbols || queries || dots) rt.SymbolTable[i].value.Assign(value);
  }
}

// Replaces every <Name> whose name is in the table by its value. The number
// of blocks looked at is the number the text had at the start: a reference
// brought in by a value is expanded only while that number lasts, which
// also ends any cycle of symbols. An unknown name stays as written.
bool ExpandSymbols(Runtime& rt, StrBuf& text) {
  if (!MayHaveBlocks(text, '<', '>')) return false;
  BlockWalk walk(text.Text(), '<', '>', rt.codePage);
  const int32_t n = walk.Count();
  bool changed = false;
  StrBuf value;
  for (int32_t repetition = 0; repetition < n; ++repetition) {
    size_t first = 0;
    size_t last = 0;
    if (!walk.NextBlock(first, last)) break;
    const std::string name = walk.text.substr(first, last - first + 1);
    if (!LookupSymbol(rt, name.c_str(), value)) continue;
    if (!walk.Replace(first, last, value.Text())) break;
    changed = true;
  }
  if (changed) text.Assign(walk.text.c_str());
  return changed;
}

// Replaces the query blocks {?App\name}, {?AppPath\name}, {?SpFolder\hex},
// {?Param\n} and {?Param\first\last} (keywords in any case) by their
// answers. A block with another keyword, or whose query fails, stays.
bool ExpandQueries(Runtime& rt, StrBuf& text) {
  if (!MayHaveBlocks(text, '{', '}')) return false;
  BlockWalk walk(text.Text(), '{', '}', rt.codePage);
  const int32_t n = walk.Count();
  bool changed = false;
  for (int32_t repetition = 0; repetition < n; ++repetition) {
    size_t first = 0;
    size_t last = 0;
    if (!walk.NextBlock(first, last)) break;
    StrBuf query(walk.text.substr(first, last - first + 1).c_str());
    if (!AnswerQuery(rt, query)) continue;
    if (!walk.Replace(first, last, query.Text())) break;
    changed = true;
  }
  if (changed) text.Assign(walk.text.c_str());
  return changed;
}

// Removes every "..", path component together with the component before
// it, scanning from the third component on: D:\A\B\..\E becomes D:\A\E. A
// ".." in the second component stays, and so does everything after a ".."
// that would remove the first component: D:\A\..\..\X becomes D:\..\X.
bool CollapseDotDot(Runtime& rt, StrBuf& text) {
  const char* sep = rt.Sep();
  const std::string marker = std::string(sep) + "..";
  if (std::strstr(text.Text(), marker.c_str()) == nullptr) return false;
  if (text.CountOf(marker.c_str(), rt.codePage) == 0) return false;
  const std::vector<std::string> fields =
      SplitFields(text.Text(), sep, rt.codePage);
  if (fields.size() < 3) return false;

  std::vector<size_t> kept = {0, 1};
  bool changed = false;
  size_t b = 2;
  for (; b < fields.size(); ++b) {
    if (fields[b] != "..") {
      kept.push_back(b);
      continue;
    }
    kept.pop_back();
    changed = true;
    if (kept.size() < 2) {
      ++b;
      break;
    }
  }
  if (!changed) return false;
  for (; b < fields.size(); ++b) kept.push_back(b);

  std::string result;
  for (size_t i = 0; i < kept.size(); ++i) {
    if (i != 0) result += sep;
    result += fields[kept[i]];
  }
  text.Assign(result.c_str());
  return true;
}

// The path of a shell special folder by its CSIDL number; out is unchanged
// when the platform has no such folder.
bool GetSpecialFolderPath(Runtime& rt, StrBuf& out, int folder) {
  StrBuf path;
  if (!rt.platform.system().SpecialFolder(folder, path)) return false;
  out.Assign(path);
  return true;
}
