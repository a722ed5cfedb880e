// A growable byte buffer that is always exactly as large as its contents.
#pragma once

#include <cstdint>

class ByteArray {
 public:
  ByteArray();
  ByteArray(const ByteArray& other);
  ByteArray& operator=(const ByteArray& other) = delete;
  ~ByteArray();

  void Init();
  void Free();
  bool Alloc(uint32_t n);
  bool Assign(const void* bytes, uint32_t n);
  bool Append(const void* bytes, uint32_t n);
  unsigned char* Data() const { return data_; }
  unsigned char* Buffer() const { return data_; }
  uint32_t Size() const { return size_; }
  bool Assign(const ByteArray& other);
  bool Append(const ByteArray& other);
  ByteArray& Concat(ByteArray& out, const ByteArray& other) const;
  bool Equals(const ByteArray& other) const;
  bool NotEquals(const ByteArray& other) const;
  ByteArray& Slice(ByteArray& out, uint32_t offset, uint32_t length) const;
  bool Remove(uint32_t offset, uint32_t length);

 private:
  unsigned char* data_;
  uint32_t size_;
};
