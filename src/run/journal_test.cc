#include "run/journal.h"

#include <gtest/gtest.h>

namespace {

const char kSettings[] = "/opt/app/updater.ini";

JournalRecord Rec(char kind, const std::string& first,
                  const std::string& second = "", uint32_t number = 0) {
  JournalRecord record;
  record.kind = kind;
  record.first = first;
  record.second = second;
  record.number = number;
  return record;
}

FileStamp Stamp(uint64_t index, uint64_t time, bool directory = false) {
  FileStamp stamp;
  stamp.volume = 0xFD01;
  stamp.index = index;
  stamp.size = 123456789012ull;
  stamp.time = time;
  stamp.mode = 02775;
  stamp.directory = directory;
  return stamp;
}

std::string SampleJournal(std::vector<JournalRecord>& written) {
  written = {
      Rec(kJournalSetAside, "/opt/app/a b.txt", "/opt/app/~updater-rollback.1.1"),
      Rec(kJournalCreated, "/opt/app/new\nline"),
      Rec(kJournalAttributes, "/opt/app/x", "", 0x21),
      Rec(kJournalMoved, "/opt/app/from", "/opt/app/to"),
  };
  written[0].heldKnown = true;
  written[0].held = Stamp(7, 0xFFFFFFFFFFFFFFFFull, true);
  written[1].putKnown = true;
  written[1].put = Stamp(0, 1);
  std::string text = EncodeJournalHeader(kSettings);
  for (const JournalRecord& record : written)
    text += EncodeJournalRecord(record);
  return text;
}

TEST(Journal, RecordsComeBackAsWrittenAndCancelledOnesAreLeftOut) {
  std::vector<JournalRecord> written, read;
  std::string text = SampleJournal(written);
  ASSERT_EQ(ParseJournal(text, kSettings, read), JournalState::kValid);
  ASSERT_EQ(read.size(), written.size());
  for (size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(read[i].kind, written[i].kind);
    EXPECT_EQ(read[i].first, written[i].first);  // a line end inside too
    EXPECT_EQ(read[i].second, written[i].second);
    EXPECT_EQ(read[i].number, written[i].number);
    EXPECT_EQ(read[i].heldKnown, written[i].heldKnown);
    EXPECT_EQ(EncodeStamp(read[i].held), EncodeStamp(written[i].held));
    EXPECT_EQ(read[i].putKnown, written[i].putKnown);
    EXPECT_EQ(EncodeStamp(read[i].put), EncodeStamp(written[i].put));
  }
  // A "written" record gives the record before it what its change put.
  JournalRecord stamped = Rec(kJournalWritten, "");
  stamped.putKnown = true;
  stamped.put = Stamp(9, 9);
  ASSERT_EQ(ParseJournal(text + EncodeJournalRecord(stamped), kSettings, read),
            JournalState::kValid);
  ASSERT_EQ(read.size(), written.size());
  EXPECT_TRUE(read.back().putKnown);
  EXPECT_EQ(read.back().put.index, 9u);
  // Each cancel takes back the newest record not yet taken back.
  text += EncodeJournalRecord(Rec(kJournalCancelled, ""));
  text += EncodeJournalRecord(Rec(kJournalCancelled, ""));
  ASSERT_EQ(ParseJournal(text, kSettings, read), JournalState::kValid);
  EXPECT_EQ(read.size(), 2u);
}

// A crash can end the file anywhere: every prefix is either refused (the
// header is incomplete) or read as the records that are whole, never more.
TEST(Journal, TruncatedAtEveryByteOffset) {
  std::vector<JournalRecord> written, read;
  const std::string text = SampleJournal(written);
  const size_t header = EncodeJournalHeader(kSettings).size();
  for (size_t length = 0; length <= text.size(); ++length) {
    const JournalState state =
        ParseJournal(text.substr(0, length), kSettings, read);
    if (length < header) {
      EXPECT_EQ(state, JournalState::kDamaged) << length;
      continue;
    }
    ASSERT_EQ(state, JournalState::kValid) << length;
    size_t whole = 0, end = header;
    for (const JournalRecord& record : written) {
      end += EncodeJournalRecord(record).size();
      if (end <= length) ++whole;
    }
    EXPECT_EQ(read.size(), whole) << length;
  }
}

TEST(Journal, ForeignAndDamagedJournalsAreRefused) {
  std::vector<JournalRecord> written, read;
  std::string text = SampleJournal(written);
  EXPECT_EQ(ParseJournal(text, "/opt/other/updater.ini", read),
            JournalState::kForeign);
  EXPECT_TRUE(read.empty());
  // A changed byte in a record that is not the last one.
  std::string damaged = text;
  damaged[EncodeJournalHeader(kSettings).size() + 5] ^= 1;
  EXPECT_EQ(ParseJournal(damaged, kSettings, read), JournalState::kDamaged);
  EXPECT_TRUE(read.empty());
  // The same in the last line: a record torn while it was written.
  damaged = text;
  damaged[damaged.size() - 12] ^= 1;
  EXPECT_EQ(ParseJournal(damaged, kSettings, read), JournalState::kValid);
  EXPECT_EQ(read.size(), written.size() - 1);
  EXPECT_EQ(ParseJournal("", kSettings, read), JournalState::kDamaged);
  EXPECT_EQ(ParseJournal("garbage\n", kSettings, read),
            JournalState::kDamaged);
  // Stamps that are not six hexadecimal numbers.
  FileStamp stamp;
  for (const char* bad : {"", "1:2:3:4:5", "1:2:3:4:5:4", "1:2:3:4:5:1:0",
                          "1::3:4:5:1", "g:2:3:4:5:1", "11111111111111111:2:3:4:5:1"})
    EXPECT_FALSE(DecodeStamp(bad, stamp)) << bad;
  EXPECT_TRUE(DecodeStamp("1:2:3:4:5:3", stamp));
  EXPECT_TRUE(stamp.directory && stamp.link);
}

}  // namespace
