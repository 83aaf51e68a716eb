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
constexpr size_t kInChunk = 256 * 1024;
constexpr size_t kOutChunk = 1024 * 1024;

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
  // The next `n` bytes when they are all in the buffer (consumed by
  // Skip), else null.
  const unsigned char* Peek(size_t n) const {
    return end_ - pos_ >= n ? buffer_.data() + pos_ : nullptr;
  }
  void Skip(size_t n) { pos_ += n; }

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
  // The output buffer keeps the last 4096 bytes before what it collects, so
  // a reference is a copy from `distance` bytes back in the same buffer. The
  // window position a reference names is turned into that distance; before
  // the first 4096 bytes the history holds the spaces the window starts with.
  Outcome out;
  Input in(read);
  std::vector<unsigned char> buffer(kWindow + kOutChunk);
  std::memset(buffer.data(), ' ', kWindow);
  unsigned char* const base = buffer.data() + kWindow;
  size_t opos = 0;             // bytes collected since the last flush
  size_t wpos = kWindowStart;  // window position of the next byte
  uint64_t remaining = expandedLength;

  auto flush = [&]() -> bool {
    if (opos == 0) return true;
    if (!write(base, opos)) return false;
    out.written += opos;
    // Keep the last 4096 bytes as history for the next references.
    std::memmove(buffer.data(), base + opos - kWindow, kWindow);
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

  // A whole group (flag byte and eight items of at most two bytes) at once
  // while it is in the buffer and its output fits; bytes one by one near
  // the ends.
  auto reference = [&](unsigned char* dst, unsigned char b1, unsigned char b2) {
    const size_t src = b1 | (size_t(b2 & 0xF0) << 4);
    size_t distance = (wpos - src) & kWindowMask;
    if (distance == 0) distance = kWindow;
    size_t len = (b2 & 0x0F) + 3u;
    if (len > remaining) len = static_cast<size_t>(remaining);
    const unsigned char* from = dst - distance;
    if (distance >= len) {
      std::memcpy(dst, from, len);
    } else {
      // Overlapping: each byte may be one this reference just wrote.
      for (size_t i = 0; i < len; ++i) dst[i] = from[i];
    }
    opos += len;
    wpos = (wpos + len) & kWindowMask;
    remaining -= len;
  };
  while (remaining >= 8 * 18) {
    const unsigned char* p = in.Peek(17);
    if (!p) break;
    if (opos + 8 * 18 > kOutChunk && !flush()) return fail(Status::WriteError);
    const unsigned char* q = p + 1;
    unsigned flags = p[0];
    for (int bit = 0; bit < 8; ++bit, flags >>= 1) {
      if (flags & 1) {
        base[opos++] = *q++;
        wpos = (wpos + 1) & kWindowMask;
        --remaining;
      } else {
        reference(base + opos, q[0], q[1]);
        q += 2;
      }
    }
    in.Skip(static_cast<size_t>(q - p));
  }

  while (remaining > 0) {
    unsigned char flags;
    int r = in.Next(&flags);
    if (r <= 0) return fail(endStatus(r));
    for (int bit = 0; bit < 8 && remaining > 0; ++bit, flags >>= 1) {
      // Room for the longest item (18 bytes) without a bounds check.
      if (opos + 18 > kOutChunk && !flush()) return fail(Status::WriteError);
      unsigned char* dst = base + opos;
      if (flags & 1) {
        unsigned char b;
        r = in.Next(&b);
        if (r <= 0) return fail(endStatus(r));
        *dst = b;
        ++opos;
        wpos = (wpos + 1) & kWindowMask;
        --remaining;
        continue;
      }
      unsigned char b1, b2;
      r = in.Next(&b1);
      if (r > 0) r = in.Next(&b2);
      if (r <= 0) return fail(endStatus(r));
      reference(dst, b1, b2);
    }
  }
  if (!flush()) out.status = Status::WriteError;
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
