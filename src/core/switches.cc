#include "core/switches.h"

#include <cstring>
#include <vector>

#include "base/code_page.h"
#include "run/interaction.h"

namespace {

enum class Kind { kQuiet, kPassive, kAnswers, kLog, kExitCodes, kHelp };

struct SwitchName {
  const char* name;  // lower case, without the prefix
  Kind kind;
  bool takesValue;   // written NAME=VALUE
};

const SwitchName kSwitches[] = {
    {"quiet", Kind::kQuiet, false},     {"passive", Kind::kPassive, false},
    {"answers", Kind::kAnswers, true},  {"log", Kind::kLog, true},
    {"exitcodes", Kind::kExitCodes, false}, {"help", Kind::kHelp, false},
    {"?", Kind::kHelp, false},
};

// One word of the command line: its bytes [begin, end) in the line.
struct Word {
  size_t begin;
  size_t end;
};

// The words of line: runs of characters between blanks (spaces and tabs)
// that stand outside double quotes. Character-aware, so that no trail byte
// is taken for a blank or a quote.
std::vector<Word> SplitWords(const std::string& line, const CodePage& cp) {
  std::vector<Word> words;
  bool quoted = false;
  size_t start = std::string::npos;
  size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    const bool blank = !quoted && (c == ' ' || c == '\t');
    if (blank) {
      if (start != std::string::npos) words.push_back({start, i});
      start = std::string::npos;
    } else if (start == std::string::npos) {
      start = i;
    }
    if (c == '"') quoted = !quoted;
    const int step = cp.CharLength(line.c_str() + i);
    i += step > 0 ? static_cast<size_t>(step) : 1;
  }
  if (start != std::string::npos) words.push_back({start, line.size()});
  return words;
}

std::string Unquoted(const std::string& text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
    return text.substr(1, text.size() - 2);
  return text;
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

enum class Match { kNone, kSwitch, kGlued };

// Whether word (its enclosing quotes already dropped) is one of the
// switches: a prefix "/" or "-", a name of the table in any case, and then
// nothing, "=" and a value, or another prefix (two switches glued
// together, refused). Anything else after the name (/quietly, /log.txt) is
// no switch and stays on the command line.
Match MatchSwitch(const std::string& word, const SwitchName*& found,
                  std::string& after, const CodePage& cp) {
  if (word.size() < 2 || (word[0] != '/' && word[0] != '-')) return Match::kNone;
  for (const SwitchName& entry : kSwitches) {
    const size_t n = std::strlen(entry.name);
    if (word.size() < 1 + n ||
        cp.FoldAsciiCase(word.substr(1, n)) != entry.name)
      continue;
    after = word.substr(1 + n);
    found = &entry;
    if (after.empty() || after[0] == '=') return Match::kSwitch;
    if (after[0] == '/' || after[0] == '-') return Match::kGlued;
  }
  return Match::kNone;
}

}  // namespace

CommandSwitches TakeSwitches(const char* commandLine, const CodePage& cp) {
  CommandSwitches result;
  const std::string line = commandLine != nullptr ? commandLine : "";
  InteractionSwitches& chosen = result.interaction;
  std::vector<Word> taken;
  bool seen[6] = {};
  auto refuse = [&result](const std::string& written) {
    if (result.refused.empty()) result.refused = written;
  };

  for (const Word& word : SplitWords(line, cp)) {
    const std::string written = line.substr(word.begin, word.end - word.begin);
    const SwitchName* entry = nullptr;
    std::string after;
    const Match match = MatchSwitch(Unquoted(written), entry, after, cp);
    if (match == Match::kNone) continue;
    taken.push_back(word);
    if (match == Match::kGlued) {
      refuse(written);
      continue;
    }
    bool& once = seen[static_cast<int>(entry->kind)];
    // A value where none belongs, none where one does, or twice.
    if (once || entry->takesValue != !after.empty()) {
      refuse(written);
      continue;
    }
    once = true;
    const std::string value = entry->takesValue ? Unquoted(after.substr(1)) : "";
    switch (entry->kind) {
      case Kind::kQuiet: chosen.quiet = true; break;
      case Kind::kPassive: chosen.passive = true; break;
      case Kind::kExitCodes: chosen.exitCodes = true; break;
      case Kind::kHelp: result.help = true; break;
      case Kind::kLog:
        if (Trimmed(value).empty()) {
          refuse(written);
          break;
        }
        chosen.logGiven = true;
        chosen.log = value;
        break;
      case Kind::kAnswers: {
        bool good = true;
        for (const std::string& answer : SplitAnswers(value))
          good = good && IsAnswerWord(answer, cp);
        if (!good) {
          refuse(written);
          break;
        }
        chosen.answersGiven = true;
        chosen.answers = value;
        break;
      }
    }
  }
  if (chosen.quiet && chosen.passive && result.refused.empty()) {
    // Both given: the one written second is named.
    for (const Word& word : taken) {
      const std::string written = line.substr(word.begin, word.end - word.begin);
      const SwitchName* entry = nullptr;
      std::string after;
      MatchSwitch(Unquoted(written), entry, after, cp);
      if (entry != nullptr && (entry->kind == Kind::kQuiet ||
                               entry->kind == Kind::kPassive))
        result.refused = written;
    }
  }

  if (taken.empty()) {
    result.rest = line;
    return result;
  }
  // Each switch goes with the blanks before it (after it, when nothing but
  // blanks comes before it), so that the other words keep their spacing.
  auto isBlank = [&line](size_t at) {
    return line[at] == ' ' || line[at] == '\t';
  };
  size_t from = 0;
  for (const Word& word : taken) {
    size_t begin = word.begin;
    size_t end = word.end;
    while (begin > from && isBlank(begin - 1)) --begin;
    if (result.rest.find_first_not_of(" \t") == std::string::npos &&
        line.substr(from, begin - from).find_first_not_of(" \t") ==
            std::string::npos)
      while (end < line.size() && isBlank(end)) ++end;
    result.rest += line.substr(from, begin - from);
    from = end;
  }
  result.rest += line.substr(from);
  return result;
}
