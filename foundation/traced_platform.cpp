#include "foundation/traced_platform.h"

#include <cinttypes>
#include <cstdio>
#include <type_traits>

#ifndef _WIN32
#include <mutex>
#endif

namespace kv {
namespace {

// The longest stretch of a string argument that is read, and shown.
constexpr size_t kMaxShownText = 64 * 1024;

// An integer shown in hex (flags, masks, messages), or a pointer argument
// whose text is not worth reading.
struct HexArg {
  uintptr_t value;
};
template <class T>
HexArg Hex(T value) {
  if constexpr (std::is_pointer_v<T>)
    return HexArg{reinterpret_cast<uintptr_t>(value)};
  else
    return HexArg{static_cast<uintptr_t>(value)};
}

// A non-const string that is an input (a command line, a key class).
struct TextArg {
  const char* text;
};
TextArg Text(const char* text) { return TextArg{text}; }

// A handle the call returns through a pointer (a key or printer opened):
// shown as "&<handle>" once the call succeeded, so that the calls on it can
// be told apart; before that, or after a failure, only the pointer.
struct OutHandle {
  const void* at;
  uintptr_t (*read)(const void*);
};
template <class T>
OutHandle Out(T* handle) {
  return OutHandle{
      handle, [](const void* at) {
        return reinterpret_cast<uintptr_t>(*static_cast<T const*>(at));
      }};
}

void AppendHex(std::string& out, uintptr_t value) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llX",
                static_cast<unsigned long long>(value));
  out += buf;
}

// The system's predefined keys by the names the simulated machine uses.
const char* RootName(uintptr_t key) {
  switch (key) {
    case 0x80000000u:
      return "HKEY_CLASSES_ROOT";
    case 0x80000001u:
      return "HKEY_CURRENT_USER";
    case 0x80000002u:
      return "HKEY_LOCAL_MACHINE";
    case 0x80000003u:
      return "HKEY_USERS";
    case 0x80000005u:
      return "HKEY_CURRENT_CONFIG";
    case 0x80000006u:
      return "HKEY_DYN_DATA";
    default:
      return nullptr;
  }
}

// Quoted, with C escapes for the quote, the backslash and every byte that is
// not printable ASCII. At most kMaxShownText bytes are read: a longer or
// unterminated text is cut there and marked.
void AppendText(std::string& out, const char* text) {
  if (!text) {
    out += "NULL";
    return;
  }
  // A value below 64 K is an ordinal or resource number, not an address.
  if (reinterpret_cast<uintptr_t>(text) < 0x10000) {
    AppendHex(out, reinterpret_cast<uintptr_t>(text));
    return;
  }
  out += '"';
  size_t n = 0;
  for (; n < kMaxShownText && text[n]; ++n) {
    const unsigned char c = static_cast<unsigned char>(text[n]);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c > 0x7E) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02X", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
  if (n == kMaxShownText) out += "...(cut at 65536 bytes)";
}

template <class T>
void AppendValue(std::string& out, T value) {
  if constexpr (std::is_same_v<T, HexArg>) {
    AppendHex(out, value.value);
  } else if constexpr (std::is_same_v<T, TextArg>) {
    AppendText(out, value.text);
  } else if constexpr (std::is_same_v<T, const char*>) {
    AppendText(out, value);
  } else if constexpr (std::is_same_v<T, HKEY>) {
    const char* root = RootName(reinterpret_cast<uintptr_t>(value));
    if (root)
      out += root;
    else if (!value)
      out += "NULL";
    else
      AppendHex(out, reinterpret_cast<uintptr_t>(value));
  } else if constexpr (std::is_pointer_v<T>) {
    if (!value)
      out += "NULL";
    else
      AppendHex(out, reinterpret_cast<uintptr_t>(value));
  } else if constexpr (std::is_same_v<T, unsigned char>) {
    AppendHex(out, value);
  } else if constexpr (std::is_signed_v<T>) {
    out += std::to_string(static_cast<long long>(value));
  } else {
    static_assert(std::is_unsigned_v<T>, "an argument kind the trace lacks");
    out += std::to_string(static_cast<unsigned long long>(value));
  }
}

// The arguments of a call that has returned; `succeeded` tells whether the
// handles it returned are there to show.
struct ArgText {
  bool succeeded;

  std::string List() const { return std::string(); }
  template <class First, class... Rest>
  std::string List(First first, Rest... rest) const {
    std::string out;
    Append(out, first);
    ((out += ", ", Append(out, rest)), ...);
    return out;
  }

 private:
  template <class T>
  void Append(std::string& out, T value) const {
    if constexpr (std::is_same_v<T, OutHandle>) {
      if (succeeded && value.at) {
        out += '&';
        AppendHex(out, value.read(value.at));
      } else {
        AppendValue(out, value.at);
      }
    } else {
      AppendValue(out, value);
    }
  }
};

// How a result tells failure. A registry call's result is its error; the
// others leave theirs as the last error.
struct Bool {
  template <class T>
  static bool Failed(T v) {
    return !v;
  }
};
using NonZero = Bool;
struct Status {
  static bool Failed(LONG v) { return v != 0; }
};
struct Freed {  // LocalFree, GlobalFree: null is success
  template <class T>
  static bool Failed(T v) {
    return v != nullptr;
  }
};
struct Invalid {
  static bool Failed(HANDLE v) { return v == INVALID_HANDLE_VALUE; }
};
struct AllOnes {
  static bool Failed(DWORD v) { return v == 0xFFFFFFFFu; }
};
struct Negative {
  template <class T>
  static bool Failed(T v) {
    return v < 0;
  }
};
struct Exec {  // WinExec: 31 and below are errors
  static bool Failed(UINT v) { return v <= 31; }
};
struct Never {
  template <class T>
  static bool Failed(T) {
    return false;
  }
};
struct Void {};
struct Quiet {};  // the last-error plumbing itself: forwarded untraced

}  // namespace

// The trace file and the lock that keeps its lines whole.
class TracedPlatform::Sink {
 public:
  Sink(FILE* file, uint64_t size, uint64_t limit)
      : file_(file), size_(size), limit_(limit) {
#ifdef _WIN32
    InitializeCriticalSection(&lock_);
#endif
  }
  ~Sink() {
    if (file_) std::fclose(file_);
#ifdef _WIN32
    DeleteCriticalSection(&lock_);
#endif
  }
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;

  // Appends `line` and a newline; false when the trace has ended (the file
  // failed, or the limit was reached: then a last line says so).
  bool Write(const std::string& line) {
    Hold hold(*this);
    if (!file_) return false;
    if (size_ + line.size() + 1 > limit_) {
      char note[64];
      if (limit_ % (1024 * 1024) == 0)
        std::snprintf(note, sizeof note, "trace stopped at %llu MB\n",
                      static_cast<unsigned long long>(limit_ / (1024 * 1024)));
      else
        std::snprintf(note, sizeof note, "trace stopped at %llu bytes\n",
                      static_cast<unsigned long long>(limit_));
      std::fputs(note, file_);
      Close();
      return false;
    }
    if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() ||
        std::fputc('\n', file_) == EOF || std::fflush(file_) != 0) {
      Close();
      return false;
    }
    size_ += line.size() + 1;
    return true;
  }

 private:
  void Close() {
    std::fclose(file_);
    file_ = nullptr;
  }

#ifdef _WIN32
  // The MinGW runtime has no std::mutex; a critical section serves.
  struct Hold {
    explicit Hold(Sink& s) : lock(s.lock_) { EnterCriticalSection(&lock); }
    ~Hold() { LeaveCriticalSection(&lock); }
    CRITICAL_SECTION& lock;
  };
  CRITICAL_SECTION lock_;
#else
  struct Hold {
    explicit Hold(Sink& s) : hold(s.lock_) {}
    std::lock_guard<std::mutex> hold;
  };
  std::mutex lock_;
#endif
  FILE* file_;
  uint64_t size_;
  const uint64_t limit_;
};

TracedPlatform::TracedPlatform(Platform& inner, const std::string& file,
                               uint64_t limitBytes)
    : inner_(inner) {
  if (file.empty()) return;
  const DWORD callersError = inner_.GetLastError();
  if (FILE* f = std::fopen(file.c_str(), "ab")) {
    uint64_t size = 0;
    if (std::fseek(f, 0, SEEK_END) == 0) {
      const long at = std::ftell(f);
      if (at > 0) size = static_cast<uint64_t>(at);
    }
    sink_ = std::make_unique<Sink>(f, size, limitBytes);
    on_.store(true);
  }
  inner_.SetLastError(callersError);
}

TracedPlatform::~TracedPlatform() = default;

void TracedPlatform::WriteLine(const std::string& line) {
  if (!sink_->Write(line)) on_.store(false, std::memory_order_relaxed);
}

void TracedPlatform::Heading(const char* name) {
  if (!tracing()) return;
  const DWORD callersError = inner_.GetLastError();
  try {
    WriteLine(std::string("== ") + (name ? name : "?"));
  } catch (...) {  // no memory for the line: it is left out
  }
  inner_.SetLastError(callersError);
}

// The line is composed once the call has returned (its inputs are const or
// shown only as addresses, so they read as passed); the last error the
// caller sees is the callee's, whatever composing and writing did to it.
template <class Result, class Call, class Show>
auto TracedPlatform::Traced(const char* name, Call&& call, Show&& show)
    -> decltype(call()) {
  using Ret = decltype(call());
  if constexpr (std::is_same_v<Result, Quiet>) {
    (void)name;
    (void)show;
    return call();
  } else if constexpr (std::is_void_v<Ret>) {
    call();
    const DWORD after = inner_.GetLastError();
    try {
      WriteLine(std::string(name) + "(" + show(true) + ")");
    } catch (...) {  // no memory for the line: it is left out
    }
    inner_.SetLastError(after);
  } else {
    Ret result = call();
    const DWORD after = inner_.GetLastError();
    try {
      const bool failed = Result::Failed(result);
      std::string line = std::string(name) + "(" + show(!failed) + ") = ";
      AppendValue(line, result);
      if (failed) {
        DWORD error = after;
        if constexpr (std::is_same_v<Result, Status>)
          error = static_cast<DWORD>(result);
        line += "  error " + std::to_string(error);
      }
      WriteLine(line);
    } catch (...) {
    }
    inner_.SetLastError(after);
    return result;
  }
}

#define KV_TRACED_DEFINE(Ret, Name, Result, Params, Args, Shown)       \
  Ret TracedPlatform::Name Params {                                    \
    if (!on_.load(std::memory_order_relaxed)) return inner_.Name Args; \
    return Traced<Result>(                                             \
        #Name, [&]() -> Ret { return inner_.Name Args; },              \
        [&](bool ok) { return ArgText{ok}.List Shown; });              \
  }
KV_PLATFORM_METHODS(KV_TRACED_DEFINE)
#undef KV_TRACED_DEFINE

// Every Platform method is in the list: otherwise the class is abstract.
static_assert(!std::is_abstract_v<TracedPlatform>,
              "KV_PLATFORM_METHODS lacks a Platform method");

}  // namespace kv
