// The exports the host can call, described from their C declarations.
//
// Each entry is made from a typed function pointer, `decltype(&Name)`, so the
// argument kinds come from the declaration itself and the call goes through a
// pointer of exactly the export's type:
//   LPCSTR and other pointers to const      -> string (or null)
//   LPSTR, char*, LPBYTE, LPDWORD, void*    -> output buffer (or null)
//   HWND                                    -> window
//   integer and enum types                  -> integer (range of the type)
//   anything else (callbacks, structures)   -> not callable from a script
// A returned char* is printed as text, other pointers as an address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "foundation/win32.h"
#include "host/script.h"

namespace kv::host {

enum class ParamKind { Integer, String, Buffer, Window, Unsupported };
enum class ResultKind { Void, Integer, Text, Pointer, Window, Unsupported };

struct ParamInfo {
  ParamKind kind = ParamKind::Unsupported;
  bool text = false;    // Buffer: char data, printed as text
  int bits = 0;         // Integer: width of the type
  bool isBool = false;  // Integer: 0 or 1 only
};

// Guard bytes after each output buffer: an export writing past the size the
// script gave is reported, not silently tolerated.
constexpr size_t kGuardSize = 256;
constexpr unsigned char kGuardByte = 0xCD;

// One argument made ready for the call; owns the buffer it points to.
struct CallArg {
  ParamKind kind = ParamKind::Unsupported;
  bool isNull = false;
  long long integer = 0;
  std::string text;
  std::vector<char> buffer;  // size + kGuardSize bytes
  size_t size = 0;           // Buffer: the size the script gave
  HWND window = nullptr;
};

struct CallResult {
  ResultKind kind = ResultKind::Void;
  long long integer = 0;
  bool isNull = false;
  std::string text;
  uintptr_t address = 0;  // Pointer
  HWND window = nullptr;
};

using Invoker = std::function<CallResult(std::vector<CallArg>&)>;

struct ExportInfo {
  std::string name;
  std::vector<ParamInfo> params;
  ResultKind result = ResultKind::Void;
  bool available = false;  // false: the loaded library lacks it
  Invoker invoke;
};

class ExportTable {
 public:
  void Add(ExportInfo info);
  // Exact name (GetProcAddress matches case), or null.
  const ExportInfo* Find(const std::string& name) const;
  // An export whose name differs only in case, or null (for "did you mean").
  const ExportInfo* FindIgnoringCase(const std::string& name) const;
  const std::vector<ExportInfo>& all() const { return exports_; }

 private:
  std::vector<ExportInfo> exports_;
  std::map<std::string, size_t> byName_;
};

// "InstallPrinterMonitor(string) -> integer".
std::string DescribeExport(const ExportInfo& info);
const char* ParamKindName(const ParamInfo& p);

// Checks the script's arguments against the export. False with `error` set
// (which argument, what was expected, what was given).
bool CheckArgs(const ExportInfo& info, const std::vector<Arg>& args,
               std::string* error);

// ---- Deriving entries from the declarations ----------------------------

namespace detail {

template <typename T>
constexpr ParamInfo ParamInfoOf() {
  ParamInfo p;
  if constexpr (std::is_same_v<T, HWND>) {
    p.kind = ParamKind::Window;
  } else if constexpr (std::is_same_v<T, bool>) {
    p.kind = ParamKind::Integer;
    p.bits = 1;
    p.isBool = true;
  } else if constexpr (std::is_integral_v<T> || std::is_enum_v<T>) {
    p.kind = ParamKind::Integer;
    p.bits = static_cast<int>(sizeof(T) * 8);
  } else if constexpr (std::is_pointer_v<T>) {
    using P = std::remove_pointer_t<T>;
    using Bare = std::remove_cv_t<P>;
    constexpr bool data = std::is_void_v<Bare> || std::is_arithmetic_v<Bare>;
    if constexpr (!data) {
      p.kind = ParamKind::Unsupported;  // callbacks, records
    } else if constexpr (std::is_const_v<P>) {
      p.kind = ParamKind::String;
    } else {
      p.kind = ParamKind::Buffer;
      p.text = std::is_same_v<Bare, char> || std::is_same_v<Bare, signed char>;
    }
  }
  return p;
}

template <typename T>
T ArgAs(CallArg& a) {
  constexpr ParamInfo p = ParamInfoOf<T>();
  if constexpr (p.kind == ParamKind::Window) {
    return a.window;
  } else if constexpr (p.isBool) {
    return a.integer != 0;
  } else if constexpr (p.kind == ParamKind::Integer) {
    if constexpr (std::is_enum_v<T>) {
      using U = std::make_unsigned_t<std::underlying_type_t<T>>;
      return static_cast<T>(static_cast<U>(a.integer));
    } else {
      // Two's-complement wrap: 0xFFFFFFFF passes as -1 to an int.
      return static_cast<T>(static_cast<std::make_unsigned_t<T>>(a.integer));
    }
  } else if constexpr (p.kind == ParamKind::String) {
    if (a.isNull) return nullptr;
    return static_cast<T>(static_cast<const void*>(a.text.c_str()));
  } else if constexpr (p.kind == ParamKind::Buffer) {
    if (a.isNull) return nullptr;
    return static_cast<T>(static_cast<void*>(a.buffer.data()));
  } else {
    return T{};  // never called: CheckArgs refuses such an export
  }
}

template <typename R>
CallResult MakeResult(R value) {
  CallResult r;
  if constexpr (std::is_same_v<R, HWND>) {
    r.kind = ResultKind::Window;
    r.window = value;
  } else if constexpr (std::is_integral_v<R> || std::is_enum_v<R>) {
    r.kind = ResultKind::Integer;
    r.integer = static_cast<long long>(value);
  } else if constexpr (std::is_pointer_v<R>) {
    using Bare = std::remove_cv_t<std::remove_pointer_t<R>>;
    if constexpr (std::is_same_v<Bare, char>) {
      r.kind = ResultKind::Text;
      r.isNull = value == nullptr;
      if (value) r.text = value;
    } else {
      r.kind = ResultKind::Pointer;
      r.address = reinterpret_cast<uintptr_t>(value);
      r.isNull = value == nullptr;
    }
  } else {
    r.kind = ResultKind::Unsupported;
  }
  return r;
}

template <typename R>
constexpr ResultKind ResultKindOf() {
  if constexpr (std::is_void_v<R>) {
    return ResultKind::Void;
  } else if constexpr (std::is_same_v<R, HWND>) {
    return ResultKind::Window;
  } else if constexpr (std::is_integral_v<R> || std::is_enum_v<R>) {
    return ResultKind::Integer;
  } else if constexpr (std::is_pointer_v<R>) {
    using Bare = std::remove_cv_t<std::remove_pointer_t<R>>;
    return std::is_same_v<Bare, char> ? ResultKind::Text : ResultKind::Pointer;
  } else {
    return ResultKind::Unsupported;
  }
}

template <typename R, typename... A, size_t... I>
CallResult Invoke(R(WINAPI* fn)(A...), std::vector<CallArg>& args,
                  std::index_sequence<I...>) {
  if constexpr (std::is_void_v<R>) {
    fn(ArgAs<A>(args[I])...);
    return CallResult();
  } else {
    return MakeResult<R>(fn(ArgAs<A>(args[I])...));
  }
}

}  // namespace detail

// An entry for the export `name` called through `fn` (null when the loaded
// library does not have it).
template <typename R, typename... A>
ExportInfo MakeExport(const char* name, R(WINAPI* fn)(A...)) {
  ExportInfo e;
  e.name = name;
  e.params = {detail::ParamInfoOf<A>()...};
  e.result = detail::ResultKindOf<R>();
  e.available = fn != nullptr;
  e.invoke = [fn](std::vector<CallArg>& args) {
    return detail::Invoke(fn, args, std::index_sequence_for<A...>{});
  };
  return e;
}

}  // namespace kv::host
