// The SZDD compressed-file format that the LZ expansion interface reads
// (files made by COMPRESS.EXE or Debian's mscompress), as a reusable
// streaming expander with no ties to the simulated machine.
//
// Layout: 8 magic bytes "SZDD\x88\xF0\x27\x33", the algorithm byte 'A', the
// character the compressed name lost, the expanded length (32 bits, little
// endian), then LZSS data: a flag byte whose bits, lowest first, announce
// eight items; a set bit is one literal byte, a clear bit a two-byte
// reference (12-bit position in a 4096-byte window that starts filled with
// spaces and is written from 0xFF0, and a length of 3 to 18).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace kv::szdd {

constexpr size_t kHeaderSize = 14;

enum class HeaderKind {
  Plain,       // not SZDD (or shorter than a header): copied unchanged
  Compressed,  // SZDD with algorithm 'A'
  UnknownAlg,  // SZDD magic with another algorithm byte
};

struct Header {
  HeaderKind kind = HeaderKind::Plain;
  uint32_t expandedLength = 0;
  char missingChar = 0;
};

// Classifies the first `size` bytes of a file.
Header ParseHeader(const unsigned char* data, size_t size);

// Reads up to `size` bytes; the count read, 0 at the end, negative on error.
using ReadFn = std::function<long(unsigned char* buffer, size_t size)>;
// Writes exactly `size` bytes; false on error.
using WriteFn = std::function<bool(const unsigned char* data, size_t size)>;

enum class Status {
  Ok,
  ReadError,   // the source could not be read
  WriteError,  // the destination refused bytes
  Truncated,   // the data ended before the expanded length was reached
};

struct Outcome {
  Status status = Status::Ok;
  uint64_t written = 0;  // bytes handed to the writer (also on failure)
};

// Expands the LZSS data that follows a header (the reader is positioned just
// after it) into `write`, stopping once `expandedLength` bytes are out; bytes
// after that are ignored. Never reads past what `read` returns, never loops
// without consuming input, and holds only fixed-size buffers whatever the
// file claims.
Outcome Expand(uint32_t expandedLength, const ReadFn& read,
               const WriteFn& write);

// Expands a whole SZDD image in memory (tests and fuzzing): false when it is
// not one, or is truncated or of an unknown algorithm.
bool ExpandImage(const unsigned char* data, size_t size,
                 std::function<void(const unsigned char*, size_t)> sink);

}  // namespace kv::szdd
