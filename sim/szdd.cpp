#include "sim/szdd.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kv::szdd {
namespace {

const unsigned char kMagic[8] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};
constexpr size_t kWindow = 4096;
constexpr size_t kWindowMask = kWindow - 1;
constexpr size_t kWindowStart = kWindow - 16;
constexpr size_t kInChunk = 64 * 1024;
constexpr size_t kOutChunk = 64 * 1024;

// Input with a refill that reports the end once and stays there.
class Input {
 public:
  explicit Input(const ReadFn& read) : read_(read), buffer_(kInChunk) {}
  // 1 with a byte, 0 at the end, -1 on a read error.
  int Next(unsigned char* b) {
    if (pos_ == end_ && !Refill()) return failed_ ? -1 : 0;
    *b = buffer_[pos_++];
    return 1;
  }
 private:
  bool Refill() {
    if (done_) return false;
    const long n = read_(buffer_.data(), buffer_.size());
    if (n <= 0) {
      done_ = true;
      failed_ = n < 0;
      return false;
    }
    pos_ = 0;
    end_ = static_cast<size_t>(n);
    return true;
  }
  const ReadFn& read_;
  std::vector<unsigned char> buffer_;
  size_t pos_ = 0, end_ = 0;
  bool done_ = false, failed_ = false;
};

}  // namespace

Header ParseHeader(const unsigned char* data, size_t size) {
  Header h;
  if (size < kHeaderSize || std::memcmp(data, kMagic, sizeof kMagic) != 0)
    return h;
  h.kind = data[8] == 'A' ? HeaderKind::Compressed : HeaderKind::UnknownAlg;
  h.missingChar = static_cast<char>(data[9]);
  h.expandedLength = uint32_t(data[10]) | uint32_t(data[11]) << 8 |
                     uint32_t(data[12]) << 16 | uint32_t(data[13]) << 24;
  return h;
}

Outcome Expand(uint32_t expandedLength, const ReadFn& read,
               const WriteFn& write) {
  Outcome out;
  Input in(read);
  unsigned char window[kWindow];
  std::memset(window, ' ', sizeof window);
  size_t wpos = kWindowStart;
  std::vector<unsigned char> obuf(kOutChunk);
  size_t opos = 0;
  uint64_t remaining = expandedLength;

  auto flush = [&]() -> bool {
    if (opos == 0) return true;
    if (!write(obuf.data(), opos)) return false;
    out.written += opos;
    opos = 0;
    return true;
  };
  auto fail = [&](Status s) {
    if (s != Status::WriteError) flush();
    out.status = s;
    return out;
  };
  auto endStatus = [](int r) {
    return r < 0 ? Status::ReadError : Status::Truncated;
  };

  while (remaining > 0) {
    unsigned char flags;
    int r = in.Next(&flags);
    if (r <= 0) return fail(endStatus(r));
    for (int bit = 0; bit < 8 && remaining > 0; ++bit, flags >>= 1) {
      if (opos + 18 > obuf.size() && !flush()) return fail(Status::WriteError);
      if (flags & 1) {
        unsigned char b;
        r = in.Next(&b);
        if (r <= 0) return fail(endStatus(r));
        window[wpos] = b;
        wpos = (wpos + 1) & kWindowMask;
        obuf[opos++] = b;
        --remaining;
        continue;
      }
      unsigned char b1, b2;
      r = in.Next(&b1);
      if (r > 0) r = in.Next(&b2);
      if (r <= 0) return fail(endStatus(r));
      size_t src = b1 | (size_t(b2 & 0xF0) << 4);
      size_t len = (b2 & 0x0F) + 3u;
      if (len > remaining) len = static_cast<size_t>(remaining);
      remaining -= len;
      // Byte by byte: a reference may overlap the bytes it produces.
      for (size_t i = 0; i < len; ++i) {
        const unsigned char c = window[src];
        src = (src + 1) & kWindowMask;
        window[wpos] = c;
        wpos = (wpos + 1) & kWindowMask;
        obuf[opos++] = c;
      }
    }
  }
  if (!flush()) {
    out.status = Status::WriteError;
    return out;
  }
  return out;
}

bool ExpandImage(const unsigned char* data, size_t size,
                 std::function<void(const unsigned char*, size_t)> sink) {
  const Header h = ParseHeader(data, size);
  if (h.kind != HeaderKind::Compressed) return false;
  size_t pos = kHeaderSize;
  ReadFn read = [&](unsigned char* buffer, size_t n) -> long {
    const size_t take = std::min(n, size - pos);
    std::memcpy(buffer, data + pos, take);
    pos += take;
    return static_cast<long>(take);
  };
  WriteFn write = [&](const unsigned char* d, size_t n) {
    sink(d, n);
    return true;
  };
  return Expand(h.expandedLength, read, write).status == Status::Ok;
}

}  // namespace kv::szdd
