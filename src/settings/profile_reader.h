// The INI reader with the Windows profile semantics, shared by both builds:
// section and key names compared ignoring ASCII case, the first section and
// the first key of a name win, blanks and one pair of enclosing quotes
// removed from values, section lines handed over as written.
//
// The encoding of a settings file is decided from its bytes
// (DetectProfileEncoding): a UTF-16LE or UTF-8 byte-order mark, or valid
// UTF-8 holding non-ASCII bytes without one, is decoded and its text
// converted to the ANSI code page by the platform's conversion; any other
// file is ANSI and read as it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/code_page.h"

enum class ProfileEncoding {
  kAnsi,      // no byte-order mark, and not UTF-8 with non-ASCII bytes
  kUtf8,      // valid UTF-8 holding non-ASCII bytes, no byte-order mark
  kUtf8Bom,   // EF BB BF
  kUtf16Bom,  // FF FE: UTF-16 little-endian
};

ProfileEncoding DetectProfileEncoding(const std::string& bytes);

// UTF-16LE (without its byte-order mark) as UTF-8. An odd last byte is
// dropped; an unpaired surrogate becomes U+FFFD, as Windows converts it.
std::string Utf16LeToUtf8(const char* bytes, size_t size);

// Converts a UTF-8 text without NULs to the ANSI code page; a character
// without an ANSI form becomes the code page's default character.
using Utf8ToAnsiFunction = std::function<std::string(const std::string&)>;

// The text of a settings file in the ANSI code page: bytes decoded
// according to their encoding (NULs are kept where they are).
std::string DecodeProfileText(const std::string& bytes,
                              const Utf8ToAnsiFunction& toAnsi,
                              ProfileEncoding* encoding = nullptr);

// A settings file read and indexed in one linear pass.
class ProfileReader {
 public:
  // bytes: the file's contents as read; names and values are compared and
  // cut by the rules of cp.
  ProfileReader(const std::string& bytes, const Utf8ToAnsiFunction& toAnsi,
                const CodePage& cp);

  ProfileEncoding encoding() const { return encoding_; }
  // The decoded text (for ANSI files: the bytes as read).
  const std::string& text() const { return data_; }

  // The value of key in section, or def (null: ""), cut at a character
  // boundary to size - 1 bytes; returns the bytes copied.
  uint32_t ReadKey(const char* section, const char* key, const char* def,
                   char* buffer, uint32_t size) const;
  // The section's non-blank lines as written, each NUL-terminated, the list
  // ended by a second NUL. A list that does not fit is cut so that it still
  // ends with two NULs and size - 2 is returned.
  uint32_t ReadSectionLines(const char* section, char* buffer,
                            uint32_t size) const;

  // The answers for a file that cannot be read: the default, and no lines.
  static uint32_t ReadMissingKey(const CodePage& cp, const char* def,
                                 char* buffer, uint32_t size);
  static uint32_t ReadMissingSection(char* buffer, uint32_t size);

 private:
  // One non-blank line inside a section: [begin, end) of data, and the
  // offset of its first "=" (kNoEquals when it has none).
  struct Line {
    uint32_t begin;
    uint32_t end;
    uint32_t equals;
  };
  // A section header: its name [nameBegin, nameEnd) of data and its lines
  // [first, last).
  struct Section {
    uint32_t nameBegin;
    uint32_t nameEnd;
    uint32_t hash;
    uint32_t first;
    uint32_t last;
  };

  void Parse();
  const Section* Find(const char* name) const;
  // The slot of the section named [begin, end) of text, or the empty slot
  // where it belongs.
  size_t Probe(const char* text, uint32_t begin, uint32_t end,
               uint32_t hash) const;
  void BuildIndex();

  CodePage codePage_;
  ProfileEncoding encoding_ = ProfileEncoding::kAnsi;
  std::string data_;
  std::vector<Line> lines_;
  std::vector<Section> sections_;  // in file order
  // Open-addressing table of the first section of each name: slots hold a
  // section index + 1, 0 when empty. Its size is a power of two.
  std::vector<uint32_t> index_;
};
