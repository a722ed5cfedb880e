// Owners of the Win32 handles and COM interfaces that the Win32 platform
// obtains, so that every one is released on every path. Included only by
// the .cc files of this folder: nothing outside win32/ sees <windows.h>.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

// A handle closed by a function of the handle's kind, or nothing when it
// holds the kind's "none" value.
template <typename H, BOOL(WINAPI* Close)(H), H None>
class ScopedWin32 {
 public:
  ScopedWin32() = default;
  explicit ScopedWin32(H h) : h_(h) {}
  ScopedWin32(const ScopedWin32&) = delete;
  ScopedWin32& operator=(const ScopedWin32&) = delete;
  ScopedWin32(ScopedWin32&& other) noexcept : h_(other.Release()) {}
  ScopedWin32& operator=(ScopedWin32&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ~ScopedWin32() { Reset(); }

  H Get() const { return h_; }
  bool Valid() const { return h_ != None; }
  H Release() { return std::exchange(h_, None); }
  void Reset(H h = None) {
    if (h_ != None) Close(h_);
    h_ = h;
  }

 private:
  H h_ = None;
};

// CreateFile and CreateToolhelp32Snapshot answer INVALID_HANDLE_VALUE on
// failure, CreateProcess and OpenProcess a null handle. The value of
// INVALID_HANDLE_VALUE is not a constant expression, so the two kinds are
// told apart by a wrapper each.
class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE h) : h_(h) {}
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept : h_(other.Release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ~ScopedHandle() { Reset(); }

  HANDLE Get() const { return h_; }
  bool Valid() const {
    return h_ != nullptr && h_ != INVALID_HANDLE_VALUE;
  }
  HANDLE Release() { return std::exchange(h_, nullptr); }
  void Reset(HANDLE h = nullptr) {
    // A close that fails leaves nothing to do: the handle is gone either
    // way.
    if (Valid()) (void)CloseHandle(h_);
    h_ = h;
  }

 private:
  HANDLE h_ = nullptr;
};

// Writes text and a line end ("\n") to file, all of it; false when a write
// failed or wrote nothing.
inline bool WriteLineTo(HANDLE file, const std::string& text) {
  std::string line = text;
  line += '\n';
  size_t done = 0;
  while (done < line.size()) {
    DWORD n = 0;
    if (!WriteFile(file, line.data() + done,
                   static_cast<DWORD>(line.size() - done), &n, nullptr) ||
        n == 0)
      return false;
    done += n;
  }
  return true;
}

// A directory search of FindFirstFileA.
class ScopedFind {
 public:
  explicit ScopedFind(HANDLE h) : h_(h) {}
  ScopedFind(const ScopedFind&) = delete;
  ScopedFind& operator=(const ScopedFind&) = delete;
  ~ScopedFind() {
    if (Valid()) (void)FindClose(h_);  // as CloseHandle above
  }
  HANDLE Get() const { return h_; }
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

// A library of LoadLibraryA.
using ScopedLibrary = ScopedWin32<HMODULE, FreeLibrary, nullptr>;

// A COM interface pointer, released once.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() {
    if (p_ != nullptr) p_->Release();
  }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  // For the out parameter of CoCreateInstance and QueryInterface.
  void** OutVoid() {
    Reset();
    return reinterpret_cast<void**>(&p_);
  }
  T** Out() {
    Reset();
    return &p_;
  }
  void Reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

// Turns a procedure address of GetProcAddress into a typed pointer without
// a function-type cast warning.
template <typename F>
F ProcAddress(HMODULE module, const char* name) {
  return reinterpret_cast<F>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
