// Owners for platform resources, so that every path releases what it took.
#pragma once

#include <cstring>
#include <utility>

#include "foundation/platform.h"

namespace kv {

// An open registry key; closed when the owner goes. Predefined roots are never
// closed.
class RegKey {
 public:
  explicit RegKey(Platform& os) : os_(&os) {}
  RegKey(RegKey&& o) noexcept
      : os_(o.os_), key_(std::exchange(o.key_, nullptr)) {}
  RegKey& operator=(RegKey&&) = delete;
  RegKey(const RegKey&) = delete;
  ~RegKey() { reset(); }

  PHKEY out() {
    reset();
    return &key_;
  }
  HKEY get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }
  void reset() {
    if (key_) os_->RegCloseKey(key_);
    key_ = nullptr;
  }

 private:
  Platform* os_;
  HKEY key_ = nullptr;
};

// A service-manager or service handle.
class ScHandle {
 public:
  ScHandle(Platform& os, SC_HANDLE h) : os_(&os), h_(h) {}
  ScHandle(const ScHandle&) = delete;
  ScHandle& operator=(const ScHandle&) = delete;
  ~ScHandle() { reset(); }
  SC_HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  void reset() {
    if (h_) os_->CloseServiceHandle(h_);
    h_ = nullptr;
  }

 private:
  Platform* os_;
  SC_HANDLE h_;
};

// A printer handle from OpenPrinterA or AddPrinterA.
class PrinterHandle {
 public:
  explicit PrinterHandle(Platform& os, HANDLE h = nullptr) : os_(&os), h_(h) {}
  PrinterHandle(const PrinterHandle&) = delete;
  PrinterHandle& operator=(const PrinterHandle&) = delete;
  ~PrinterHandle() { reset(); }
  HANDLE get() const { return h_; }
  LPHANDLE out() {
    reset();
    return &h_;
  }
  explicit operator bool() const { return h_ != nullptr; }
  void reset(HANDLE h = nullptr) {
    if (h_) os_->ClosePrinter(h_);
    h_ = h;
  }

 private:
  Platform* os_;
  HANDLE h_;
};

// A kernel handle (file, process, thread, event, find handles excluded).
class KernelHandle {
 public:
  explicit KernelHandle(Platform& os, HANDLE h = nullptr) : os_(&os), h_(h) {}
  KernelHandle(const KernelHandle&) = delete;
  KernelHandle& operator=(const KernelHandle&) = delete;
  ~KernelHandle() { reset(); }
  HANDLE get() const { return h_; }
  HANDLE release() { return std::exchange(h_, nullptr); }
  explicit operator bool() const {
    return h_ != nullptr && h_ != INVALID_HANDLE_VALUE;
  }
  void reset(HANDLE h = nullptr) {
    if (h_ && h_ != INVALID_HANDLE_VALUE) os_->CloseHandle(h_);
    h_ = h;
  }

 private:
  Platform* os_;
  HANDLE h_;
};

// A FindFirstFileA handle, closed when the owner goes unless closed before.
class FindHandle {
 public:
  FindHandle(Platform& os, HANDLE h) : os_(&os), h_(h) {}
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  ~FindHandle() { Close(); }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE get() const { return h_; }
  // FindClose's result; FALSE when there is nothing (left) to close.
  BOOL Close() {
    if (!valid()) return FALSE;
    const BOOL closed = os_->FindClose(h_);
    h_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  Platform* os_;
  HANDLE h_;
};

// A zero-filled global memory block, locked while owned: the spooler records
// are built in one of these for a single call and freed after it.
class GlobalBuffer {
 public:
  GlobalBuffer(Platform& os, SIZE_T bytes) : os_(&os), size_(bytes) {
    mem_ = os.GlobalAlloc(GHND, bytes);
    if (mem_) ptr_ = os.GlobalLock(mem_);
  }
  GlobalBuffer(const GlobalBuffer&) = delete;
  GlobalBuffer& operator=(const GlobalBuffer&) = delete;
  ~GlobalBuffer() {
    // Releasing the record must not hide why the call it was made for
    // failed: GlobalUnlock of the last lock sets the last error to NO_ERROR.
    const DWORD error = os_->GetLastError();
    if (ptr_) os_->GlobalUnlock(mem_);
    if (mem_) os_->GlobalFree(mem_);
    os_->SetLastError(error);
  }
  explicit operator bool() const { return ptr_ != nullptr; }
  template <typename T>
  T* as() const {
    return static_cast<T*>(ptr_);
  }
  LPBYTE bytes() const { return static_cast<LPBYTE>(ptr_); }
  SIZE_T size() const { return size_; }

 private:
  Platform* os_;
  SIZE_T size_;
  HGLOBAL mem_ = nullptr;
  LPVOID ptr_ = nullptr;
};

// Copies `src` into a fixed buffer of `size` bytes, cutting it so that the
// terminator always fits (lstrcpynA semantics). Returns the bytes copied.
inline size_t CopyCut(char* dst, size_t size, const char* src) {
  if (size == 0) return 0;
  size_t n = std::strlen(src);
  if (n >= size) n = size - 1;
  std::memmove(dst, src, n);
  dst[n] = '\0';
  return n;
}

}  // namespace kv
