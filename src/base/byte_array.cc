#include "base/byte_array.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

ByteArray::ByteArray() { Init(); }

ByteArray::ByteArray(const ByteArray& other) {
  Init();
  Assign(other);
}

ByteArray::~ByteArray() { Free(); }

void ByteArray::Init() {
  data_ = nullptr;
  size_ = 0;
}

void ByteArray::Free() {
  std::free(data_);
  Init();
}

bool ByteArray::Alloc(uint32_t n) {
  Free();
  if (n == 0) return true;  // the empty array holds no block
  data_ = static_cast<unsigned char*>(std::calloc(n, 1));
  if (data_ == nullptr) return false;
  size_ = n;
  return true;
}

bool ByteArray::Assign(const void* bytes, uint32_t n) {
  if (n == 0) {
    Free();
    return true;
  }
  if (bytes == nullptr) return Alloc(n);
  // The new block is filled before the old one goes, so bytes may lie in
  // this array's own block.
  unsigned char* block = static_cast<unsigned char*>(std::malloc(n));
  if (block != nullptr) std::memcpy(block, bytes, n);
  Free();
  if (block == nullptr) return false;
  data_ = block;
  size_ = n;
  return true;
}

bool ByteArray::Append(const void* bytes, uint32_t n) {
  if (n == 0) return true;
  if (n > UINT32_MAX - size_) return false;
  // Exactly the new size. On failure the contents stay as they were, so a
  // caller that counts the entries stays consistent with the array.
  const uint32_t total = size_ + n;
  unsigned char* block = static_cast<unsigned char*>(std::malloc(total));
  if (block == nullptr) return false;
  if (size_ > 0) std::memcpy(block, data_, size_);
  if (bytes != nullptr) {
    std::memcpy(block + size_, bytes, n);
  } else {
    std::memset(block + size_, 0, n);
  }
  std::free(data_);
  data_ = block;
  size_ = total;
  return true;
}

bool ByteArray::Assign(const ByteArray& other) {
  if (&other == this) return true;
  return Assign(other.data_, other.size_);
}

bool ByteArray::Append(const ByteArray& other) {
  if (&other == this) {
    ByteArray copy(other);
    if (copy.size_ != size_) return false;
    return Append(copy.data_, copy.size_);
  }
  return Append(other.data_, other.size_);
}

ByteArray& ByteArray::Concat(ByteArray& out, const ByteArray& other) const {
  ByteArray joined(*this);
  joined.Append(other);
  out.Assign(joined);
  return out;
}

bool ByteArray::Equals(const ByteArray& other) const {
  if (size_ != other.size_) return false;
  return size_ == 0 || std::memcmp(data_, other.data_, size_) == 0;
}

bool ByteArray::NotEquals(const ByteArray& other) const {
  return !Equals(other);
}

ByteArray& ByteArray::Slice(ByteArray& out, uint32_t offset,
                            uint32_t length) const {
  // Only bytes the array holds are taken.
  if (offset > size_) offset = size_;
  if (length > size_ - offset) length = size_ - offset;
  out.Assign(data_ + offset, length);
  return out;
}

bool ByteArray::Remove(uint32_t offset, uint32_t length) {
  if (length == 0) return true;
  if (offset >= size_) return false;  // nothing there to remove
  const bool to_end = length >= size_ - offset;
  if (offset == 0 && to_end) {
    Free();
    return true;
  }
  const uint32_t tail = to_end ? 0 : size_ - offset - length;
  const uint32_t total = offset + tail;
  unsigned char* block = static_cast<unsigned char*>(std::malloc(total));
  if (block == nullptr) return false;  // the contents stay as they were
  std::memcpy(block, data_, offset);
  if (tail > 0) std::memcpy(block + offset, data_ + offset + length, tail);
  std::free(data_);
  data_ = block;
  size_ = total;
  return true;
}
