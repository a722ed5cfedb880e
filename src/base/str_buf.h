// StrBuf: the one text type of the updater. An owned, NUL-terminated byte
// text in the ANSI code page with word and field operations.
// Indexes count from 0; a negative index counts from the end. Searches are
// character-aware in the code page they are given (see code_page.h);
// comparisons and Trim fold the letters A to Z of single-byte characters.
// When memory runs out, SetText, AppendText and Allocate say so by their
// result; every other operation that needs memory throws std::bad_alloc, as
// std::string does, leaving the text as it was (the run reports message 3).
// No operation loses or keeps a text without saying so.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <new>

#include "base/code_page.h"

class StrBuf {
 public:
  StrBuf();
  StrBuf(const char* text);  // NOLINT: implicit by design, texts convert freely
  StrBuf(const StrBuf& other);
  StrBuf(StrBuf&& other) noexcept;
  StrBuf& operator=(const StrBuf& other);
  StrBuf& operator=(StrBuf&& other) noexcept;
  ~StrBuf();

  // Storage.
  void Init();
  void Free();
  bool Allocate(uint32_t n);  // n zero bytes; the old text is gone either way
  // Replaces the text by a copy of text. When memory runs out the text
  // stays as it was and the result is false: the caller reports it.
  [[nodiscard]] bool SetText(const char* text);
  bool AppendText(const char* text);
  void Compact();
  const char* Text() const;
  char* Buffer();
  char CharAt(int32_t i) const;
  const char* PointerAt(int32_t i) const;

  StrBuf& Assign(const StrBuf& other);
  StrBuf& Assign(const char* text);
  StrBuf& Append(const StrBuf& other);
  StrBuf& Append(const char* text);
  StrBuf Concat(const StrBuf& other) const;
  StrBuf Concat(const char* text) const;

  bool Equals(const StrBuf& other, const CodePage& cp) const;
  bool Equals(const char* text, const CodePage& cp) const;
  bool NotEquals(const StrBuf& other, const CodePage& cp) const;
  bool NotEquals(const char* text, const CodePage& cp) const;
  int32_t Length() const;
  bool IsEmpty() const { return Length() == 0; }

  // Byte range (positions inclusive).
  StrBuf Extract(int32_t first, int32_t last) const;

  // Words: separated by single spaces outside double quotes; a single
  // quoted word loses its quotes.
  int32_t WordCount(const CodePage& cp) const;
  StrBuf Word(int32_t n, const CodePage& cp) const;
  // The byte range [from, to] of words first to last (negative: counted
  // from the end); a single quoted word without its quotes. False when
  // there is no such range.
  bool WordRange(int32_t first, int32_t last, int32_t& from, int32_t& to,
                 const CodePage& cp) const;

  // Fields: parts between occurrences of a separator text.
  int32_t FieldCount(const char* separator, const CodePage& cp) const;
  StrBuf Field(int32_t n, const char* separator, const CodePage& cp) const;
  StrBuf Fields(int32_t first, int32_t last, const char* separator,
                const CodePage& cp) const;
  void ReplaceField(int32_t n, const char* separator, const char* text,
                    const CodePage& cp);
  void ReplaceFields(int32_t first, int32_t last, const char* separator,
                     const char* text, const CodePage& cp);

  void Trim(const char* token, const CodePage& cp);
  void Trim(const char* leading, const char* trailing, const CodePage& cp);
  bool ReplaceAll(const char* find, const char* replacement,
                  const CodePage& cp);

  // Formatting into a bounded work area: results longer than 1023 bytes are
  // cut (between characters).
  void FormatList(const CodePage& cp, const char* format, va_list arguments);
  void Format(const CodePage& cp, const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 3, 4)))
#endif
      ;

  int32_t CountOf(const char* text, const CodePage& cp) const;
  int32_t ToInt() const;
  uint32_t ToHex() const;
  bool Contains(const char* text, const CodePage& cp) const;
  bool StartsWith(const char* text, const CodePage& cp) const;

 private:
  // Replaces bytes first to last (clamped to the text; a range that ends
  // before it starts inserts at first) by text.
  void ReplaceSpan(int32_t first, int32_t last, const char* text);

  char* buffer_;  // null only transiently; Text() then gives ""
};
