#include "run/journal.h"

#include <gtest/gtest.h>

namespace {

const char kSettings[] = "/opt/app/updater.ini";

std::string SampleJournal(std::vector<JournalRecord>& written) {
  written = {
      {kJournalSetAside, "/opt/app/a b.txt", "/opt/app/~updater-rollback.1.1", 0},
      {kJournalCreated, "/opt/app/new\nline", "", 0},
      {kJournalAttributes, "/opt/app/x", "", 0x21},
      {kJournalMoved, "/opt/app/from", "/opt/app/to", 0},
  };
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
  }
  // Each cancel takes back the newest record not yet taken back.
  text += EncodeJournalRecord({kJournalCancelled, "", "", 0});
  text += EncodeJournalRecord({kJournalCancelled, "", "", 0});
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
}

}  // namespace
