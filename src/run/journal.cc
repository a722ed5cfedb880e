#include "run/journal.h"

#include <cstdio>

#include "commands/crc.h"

namespace {

constexpr char kMagic[] = "UPDATER-JOURNAL 1 ";

void AppendField(std::string& line, const std::string& text) {
  line += std::to_string(text.size());
  line += ':';
  line += text;
}

// The line with its checksum and line end.
std::string Sealed(std::string line) {
  char crc[16];
  std::snprintf(crc, sizeof crc, " %08X\n",
                static_cast<unsigned>(Crc32(line.data(),
                                            static_cast<uint32_t>(line.size()))));
  return line + crc;
}

// Reads the fields of a line, left to right.
class LineReader {
 public:
  explicit LineReader(const std::string& line) : line_(line) {}

  bool Literal(const char* text) {
    for (; *text != '\0'; ++text, ++at_)
      if (at_ >= line_.size() || line_[at_] != *text) return false;
    return true;
  }
  bool Field(std::string& out) {
    size_t length = 0;
    size_t digits = 0;
    while (at_ < line_.size() && line_[at_] >= '0' && line_[at_] <= '9' &&
           digits < 9) {
      length = length * 10 + static_cast<size_t>(line_[at_++] - '0');
      ++digits;
    }
    if (digits == 0 || !Literal(":") || line_.size() - at_ < length)
      return false;
    out.assign(line_, at_, length);
    at_ += length;
    return true;
  }
  bool Hex(uint32_t& out, size_t maxDigits) {
    out = 0;
    size_t digits = 0;
    for (; at_ < line_.size() && digits < maxDigits; ++at_, ++digits) {
      const char c = line_[at_];
      uint32_t v;
      if (c >= '0' && c <= '9') v = static_cast<uint32_t>(c - '0');
      else if (c >= 'A' && c <= 'F') v = static_cast<uint32_t>(c - 'A' + 10);
      else break;
      out = out << 4 | v;
    }
    return digits > 0;
  }
  size_t Position() const { return at_; }
  bool AtEnd() const { return at_ == line_.size(); }

 private:
  const std::string& line_;
  size_t at_ = 0;
};

// True when line (without its line end) ends in the checksum of what is
// before it.
bool ChecksumHolds(const std::string& line) {
  if (line.size() < 10 || line[line.size() - 9] != ' ') return false;
  const std::string body = line.substr(0, line.size() - 9);
  const std::string crc = line.substr(line.size() - 8);
  LineReader reader(crc);
  uint32_t value = 0;
  if (!reader.Hex(value, 8) || !reader.AtEnd()) return false;
  return value == Crc32(body.data(), static_cast<uint32_t>(body.size()));
}

bool IsKnownKind(char kind) {
  switch (kind) {
    case kJournalSetAside:
    case kJournalCreated:
    case kJournalMadeDirectory:
    case kJournalRemovedDirectory:
    case kJournalMoved:
    case kJournalAttributes:
    case kJournalCancelled:
      return true;
  }
  return false;
}

bool ParseRecord(const std::string& line, JournalRecord& record) {
  if (!ChecksumHolds(line)) return false;
  const std::string body = line.substr(0, line.size() - 9);
  LineReader reader(body);
  if (body.empty() || !IsKnownKind(body[0])) return false;
  record.kind = body[0];
  const char kindText[2] = {body[0], 0};
  return reader.Literal(kindText) && reader.Literal(" ") &&
         reader.Field(record.first) && reader.Literal(" ") &&
         reader.Field(record.second) && reader.Literal(" ") &&
         reader.Hex(record.number, 8) && reader.AtEnd();
}

}  // namespace

std::string EncodeJournalHeader(const std::string& settingsPath) {
  std::string line = kMagic;
  AppendField(line, settingsPath);
  return Sealed(line);
}

std::string EncodeJournalRecord(const JournalRecord& record) {
  std::string line(1, record.kind);
  line += ' ';
  AppendField(line, record.first);
  line += ' ';
  AppendField(line, record.second);
  char number[16];
  std::snprintf(number, sizeof number, " %X", static_cast<unsigned>(record.number));
  line += number;
  return Sealed(line);
}

JournalState ParseJournal(const std::string& text,
                          const std::string& settingsPath,
                          std::vector<JournalRecord>& records) {
  records.clear();
  size_t end = text.find('\n');
  if (end == std::string::npos) return JournalState::kDamaged;
  const std::string header = text.substr(0, end);
  std::string named;
  {
    if (!ChecksumHolds(header)) return JournalState::kDamaged;
    const std::string body = header.substr(0, header.size() - 9);
    LineReader reader(body);
    if (!reader.Literal(kMagic) || !reader.Field(named) || !reader.AtEnd())
      return JournalState::kDamaged;
  }
  if (named != settingsPath) return JournalState::kForeign;
  size_t start = end + 1;
  while (start < text.size()) {
    end = text.find('\n', start);
    const bool last = end == std::string::npos || end + 1 == text.size();
    JournalRecord record;
    const bool ok =
        end != std::string::npos &&
        ParseRecord(text.substr(start, end - start), record);
    if (!ok) {
      if (last) break;  // torn while it was being written
      records.clear();
      return JournalState::kDamaged;
    }
    if (record.kind == kJournalCancelled) {
      if (!records.empty()) records.pop_back();
    } else {
      records.push_back(record);
    }
    start = end + 1;
  }
  return JournalState::kValid;
}
