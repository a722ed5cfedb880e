#include "run/journal.h"

#include <cstdio>

#include "base/crc32.h"

namespace {

constexpr char kMagic[] = "UPDATER-JOURNAL 2 ";

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

// Reads the fields of a record from a position of the journal's text. Each
// read fails at the end of the text (incomplete) or at a byte that does not
// belong there (bad).
class FieldReader {
 public:
  FieldReader(const std::string& text, size_t at) : text_(text), at_(at) {}

  bool Literal(const char* literal) {
    for (; *literal != '\0'; ++literal, ++at_) {
      if (at_ >= text_.size()) return Short();
      if (text_[at_] != *literal) return false;
    }
    return true;
  }
  bool Field(std::string& out) {
    size_t length = 0;
    size_t digits = 0;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9' &&
           digits < 9) {
      length = length * 10 + static_cast<size_t>(text_[at_++] - '0');
      ++digits;
    }
    if (at_ >= text_.size()) return Short();
    if (digits == 0 || !Literal(":")) return false;
    if (text_.size() - at_ < length) return Short();
    out.assign(text_, at_, length);
    at_ += length;
    return true;
  }
  bool Hex(uint32_t& out, size_t minDigits, size_t maxDigits) {
    out = 0;
    size_t digits = 0;
    for (; digits < maxDigits; ++at_, ++digits) {
      if (at_ >= text_.size()) return Short();
      const char c = text_[at_];
      uint32_t v;
      if (c >= '0' && c <= '9') v = static_cast<uint32_t>(c - '0');
      else if (c >= 'A' && c <= 'F') v = static_cast<uint32_t>(c - 'A' + 10);
      else break;
      out = out << 4 | v;
    }
    return digits >= minDigits;
  }
  // The checksum of what was read from start, and the line end.
  bool Sealed(size_t start) {
    const size_t body = at_;
    uint32_t crc = 0;
    if (!Literal(" ") || !Hex(crc, 8, 8) || !Literal("\n")) return false;
    return crc == Crc32(text_.data() + start,
                        static_cast<uint32_t>(body - start));
  }
  size_t Position() const { return at_; }
  bool Incomplete() const { return short_; }

 private:
  bool Short() {
    short_ = true;
    return false;
  }
  const std::string& text_;
  size_t at_;
  bool short_ = false;
};

bool IsKnownKind(char kind) {
  if (IsChangeKind(kind)) return true;
  switch (kind) {
    case kJournalCancelled:
    case kJournalCommitted:
    case kJournalWritten:
    case kJournalSettled:
      return true;
  }
  return false;
}

}  // namespace

std::string EncodeStamp(const FileStamp& stamp) {
  char text[128];
  std::snprintf(text, sizeof text, "%llX:%llX:%llX:%llX:%X:%X",
                static_cast<unsigned long long>(stamp.volume),
                static_cast<unsigned long long>(stamp.index),
                static_cast<unsigned long long>(stamp.size),
                static_cast<unsigned long long>(stamp.time),
                static_cast<unsigned>(stamp.mode),
                (stamp.directory ? 1u : 0u) | (stamp.link ? 2u : 0u));
  return text;
}

bool DecodeStamp(const std::string& text, FileStamp& stamp) {
  uint64_t values[6] = {};
  size_t at = 0;
  for (int i = 0; i < 6; ++i) {
    size_t digits = 0;
    for (; at < text.size() && text[at] != ':'; ++at, ++digits) {
      const char c = text[at];
      uint64_t v;
      if (c >= '0' && c <= '9') v = static_cast<uint64_t>(c - '0');
      else if (c >= 'A' && c <= 'F') v = static_cast<uint64_t>(c - 'A' + 10);
      else return false;
      if (digits >= 16) return false;
      values[i] = values[i] << 4 | v;
    }
    if (digits == 0) return false;
    if (i < 5) {
      if (at >= text.size()) return false;
      ++at;  // the ":"
    }
  }
  if (at != text.size() || values[4] > 0xFFFFFFFFu || values[5] > 3)
    return false;
  stamp.volume = values[0];
  stamp.index = values[1];
  stamp.size = values[2];
  stamp.time = values[3];
  stamp.mode = static_cast<uint32_t>(values[4]);
  stamp.directory = (values[5] & 1) != 0;
  stamp.link = (values[5] & 2) != 0;
  return true;
}

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
  line += ' ';
  AppendField(line, record.heldKnown ? EncodeStamp(record.held) : "");
  line += ' ';
  AppendField(line, record.putKnown ? EncodeStamp(record.put) : "");
  return Sealed(line);
}

JournalRead ReadJournalRecord(const std::string& text, size_t start,
                              JournalRecord& record, size_t& next) {
  FieldReader reader(text, start);
  if (start >= text.size()) return JournalRead::kIncomplete;
  record.kind = text[start];
  const char kind[2] = {record.kind, 0};
  std::string held;
  std::string put;
  bool ok = IsKnownKind(record.kind) && reader.Literal(kind) &&
            reader.Literal(" ") && reader.Field(record.first) &&
            reader.Literal(" ") && reader.Field(record.second) &&
            reader.Literal(" ") && reader.Hex(record.number, 1, 8) &&
            reader.Literal(" ") && reader.Field(held) &&
            reader.Literal(" ") && reader.Field(put) && reader.Sealed(start);
  if (ok) {
    record.heldKnown = !held.empty();
    record.putKnown = !put.empty();
    if ((record.heldKnown && !DecodeStamp(held, record.held)) ||
        (record.putKnown && !DecodeStamp(put, record.put)))
      return JournalRead::kBad;
    next = reader.Position();
    return JournalRead::kRecord;
  }
  return reader.Incomplete() ? JournalRead::kIncomplete : JournalRead::kBad;
}

bool ReadJournalHeader(const std::string& text, std::string& settingsPath) {
  FieldReader header(text, 0);
  return header.Literal(kMagic) && header.Field(settingsPath) &&
         header.Sealed(0);
}

JournalState ParseJournal(const std::string& text,
                          const std::string& settingsPath,
                          std::vector<JournalRecord>& records) {
  records.clear();
  FieldReader header(text, 0);
  std::string named;
  if (!header.Literal(kMagic) || !header.Field(named) || !header.Sealed(0))
    return JournalState::kDamaged;
  if (named != settingsPath) return JournalState::kForeign;
  size_t at = header.Position();
  while (at < text.size()) {
    JournalRecord record;
    size_t next = at;
    const JournalRead read = ReadJournalRecord(text, at, record, next);
    if (read == JournalRead::kIncomplete) break;  // torn by the crash
    if (read == JournalRead::kBad) {
      // A torn last record may also hold bytes that never were written:
      // refused only when a line follows it.
      const size_t end = text.find('\n', at);
      if (end == std::string::npos || end + 1 == text.size()) break;
      records.clear();
      return JournalState::kDamaged;
    }
    if (record.kind == kJournalCancelled) {
      if (!records.empty()) records.pop_back();
    } else if (record.kind == kJournalWritten) {
      if (!records.empty() && record.putKnown) {
        records.back().putKnown = true;
        records.back().put = record.put;
      }
    } else {
      records.push_back(record);
    }
    at = next;
  }
  return JournalState::kValid;
}

bool IsChangeKind(char kind) {
  switch (kind) {
    case kJournalSetAside:
    case kJournalCreated:
    case kJournalMadeDirectory:
    case kJournalRemovedDirectory:
    case kJournalMoved:
    case kJournalAttributes:
      return true;
  }
  return false;
}
