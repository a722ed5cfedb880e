// The rollback journal: what a run changed in the file system, one record a
// line, each written out before its change is made. A journal starts with a
// header naming the settings file whose run it belongs to; the header and
// every record carry a checksum, so that a record torn by a crash is told
// from a complete one and a damaged or foreign journal is never acted on.
//
//   UPDATER-JOURNAL 2 <n>:<settings identity> <crc>
//   <kind> <n>:<first path> <n>:<second path> <number> <n>:<held> <n>:<put> <crc>
//
// Paths are bytes in the ANSI code page, each preceded by its length; the
// number and the checksum (CRC-32 of the line before it) are hexadecimal.
// held and put are file stamps (empty when not known), six hexadecimal
// numbers separated by ":": volume, index, size, time, mode and flags (1 a
// directory, 2 a link).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

// What a record says was done (the kinds are the first byte of a line).
enum JournalKind : char {
  // first held a file, a link or a tree that was renamed to second, its
  // saved copy, beside it or in the run's folder in the root of its volume
  // (replaced or deleted).
  kJournalSetAside = 'R',
  // first was made by the run (a file, a link or a shortcut).
  kJournalCreated = 'C',
  // first, a directory, was made by the run.
  kJournalMadeDirectory = 'D',
  // first, an empty directory with attributes number, was removed.
  kJournalRemovedDirectory = 'E',
  // first, a file or a link, was moved to second.
  kJournalMoved = 'M',
  // first had attributes number before they were changed.
  kJournalAttributes = 'T',
  // The change of the record before did not happen, or has been undone.
  kJournalCancelled = 'X',
  // The run completed: its saved copies are being removed, nothing is to
  // be undone any more.
  kJournalCommitted = 'K',
  // The stamp of what the change of the record before put at its first
  // path (where it could not be known before the change).
  kJournalWritten = 'W',
  // Every change of the records after it was made: the first record of a
  // journal written anew after an undo that could not put back everything.
  kJournalSettled = 'F',
};

// True for the kinds that record a change to undo (not a mark).
bool IsChangeKind(char kind);

// The number of a "created" record whose name was free before.
constexpr uint32_t kCreatedNew = 1;
// The number of a "made directory" record of the folder that a run makes
// near the root of a volume for saved copies that beside their files would
// make a path too long: removed with them when the run completes.
constexpr uint32_t kSavedFolder = 1;

struct JournalRecord {
  char kind = kJournalCancelled;
  std::string first;
  std::string second;
  uint32_t number = 0;
  // What first (set aside, moved: what was moved) was before the change.
  bool heldKnown = false;
  FileStamp held;
  // What the change put at first (a copy: size and time of its source).
  bool putKnown = false;
  FileStamp put;
};

std::string EncodeStamp(const FileStamp& stamp);
bool DecodeStamp(const std::string& text, FileStamp& stamp);

std::string EncodeJournalHeader(const std::string& settingsPath);
// One line, with its line end.
std::string EncodeJournalRecord(const JournalRecord& record);

enum class JournalRead { kRecord, kIncomplete, kBad };
// Reads the record at start of text; next receives where the one after it
// begins. kIncomplete when text ends within it.
JournalRead ReadJournalRecord(const std::string& text, size_t start,
                              JournalRecord& record, size_t& next);

// The settings identity named by a journal's header; false when the text
// does not begin with a whole header.
bool ReadJournalHeader(const std::string& text, std::string& settingsPath);

enum class JournalState {
  kValid,    // the records are those of a journal of this settings file
  kForeign,  // a journal of another settings file
  kDamaged,  // no header, or a record that is not the last one is damaged
};

// Reads a whole journal. A last line that is incomplete or fails its
// checksum was being written when the run ended: its change never began,
// and it is left out. Records cancelled by the record after them are left
// out too.
JournalState ParseJournal(const std::string& text,
                          const std::string& settingsPath,
                          std::vector<JournalRecord>& records);
