// Owners for platform resources, so that every path releases what it took.
#pragma once

#include <cstring>
#include <type_traits>
#include <utility>

#include "foundation/platform.h"

namespace kv {

// The owner of one platform handle of type `H`, released with the
// Platform member `Release` when the owner goes. A null handle, and for
// HANDLEs INVALID_HANDLE_VALUE (what FindFirstFileA and CreateFileA fail
// with), owns nothing.
template <typename H, auto Release>
class PlatformHandle {
 public:
  explicit PlatformHandle(Platform& os, H h = nullptr) : os_(&os), h_(h) {}
  PlatformHandle(PlatformHandle&& o) noexcept
      : os_(o.os_), h_(std::exchange(o.h_, nullptr)) {}
  PlatformHandle& operator=(PlatformHandle&&) = delete;
  PlatformHandle(const PlatformHandle&) = delete;
  PlatformHandle& operator=(const PlatformHandle&) = delete;
  ~PlatformHandle() { reset(); }

  H get() const { return h_; }
  bool valid() const {
    if constexpr (std::is_same_v<H, HANDLE>)
      if (h_ == INVALID_HANDLE_VALUE) return false;
    return h_ != nullptr;
  }
  explicit operator bool() const { return valid(); }
  // For the calls that hand out a handle through a pointer.
  H* out() {
    reset();
    return &h_;
  }
  H release() { return std::exchange(h_, nullptr); }
  void reset(H h = nullptr) {
    if (valid()) (os_->*Release)(h_);
    h_ = h;
  }
  // Releases the handle now; the release's own result (FALSE, 0, when
  // nothing was owned).
  auto Close() {
    using Result = decltype((os_->*Release)(h_));
    if (!valid()) return Result{};
    const Result result = (os_->*Release)(h_);
    h_ = nullptr;
    return result;
  }

 private:
  Platform* os_;
  H h_;
};

// An open registry key (predefined roots are never handed to an owner).
using RegKey = PlatformHandle<HKEY, &Platform::RegCloseKey>;
// A service-manager or service handle.
using ScHandle = PlatformHandle<SC_HANDLE, &Platform::CloseServiceHandle>;
// A printer handle from OpenPrinterA or AddPrinterA.
using PrinterHandle = PlatformHandle<HANDLE, &Platform::ClosePrinter>;
// A kernel handle (file, process, thread, event).
using KernelHandle = PlatformHandle<HANDLE, &Platform::CloseHandle>;
// A FindFirstFileA handle.
using FindHandle = PlatformHandle<HANDLE, &Platform::FindClose>;
// A library loaded with LoadLibraryA.
using ModuleHandle = PlatformHandle<HMODULE, &Platform::FreeLibrary>;

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
