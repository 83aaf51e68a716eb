// Reading setup information files (.sii, .inf) and the model lookup.
//
// Files are read only through the platform's profile operations: a bare file
// name is found in the Windows directory, a missing key yields the default,
// and a value is cut to the buffer size less one.
#pragma once

#include <string>
#include <vector>

#include "foundation/context.h"

namespace kv {

constexpr DWORD kValueBufferSize = 256;  // 255 characters unless stated
// The most models of one setup file that are looked at: "nModelNum" is the
// file's word, and a huge one would hold an installer or a removal for hours.
constexpr int kModelLimit = 4096;

// The string value of `key` in `section` of `file`, read with a buffer of
// `bufferSize` bytes (so at most bufferSize - 1 characters).
std::string ReadSetupString(Context& ctx, const char* file, const char* section,
                            const char* key,
                            DWORD bufferSize = kValueBufferSize,
                            const char* deflt = "");

// The integer value of `key`, or `deflt` when it is missing.
int ReadSetupInt(Context& ctx, const char* file, const char* section,
                 const char* key, int deflt);

// Model lookup: sets ctx.driverName to "<Product> <model>" and ctx.deviceId to
// the model's [DevID] value, matching `model` against Model1..ModelN without
// regard to case (with nModelNum=1, Model1 is used whatever `model` is).
// Without a match the driver name is "<Product> " and the device id is left
// as it was. Values that would not fit the 128-byte buffers are cut to 127
// characters. At most 4096 models are examined. 1 when a model was found and
// both its name and the product name read non-empty; 0 otherwise, with
// ERROR_INVALID_DATA: the driver name would not be the driver's. A profile
// read can't tell a missing key from one it failed to read, so an empty
// value is all there is to go by.
int LookupModel(Context& ctx, const char* model, const char* file);

// A section is read whole: the buffer starts at kSectionFirstRead and grows
// while the section does not fit, up to kSectionReadLimit.
constexpr DWORD kSectionFirstRead = 1024;
constexpr DWORD kSectionReadLimit = 1u << 20;

// Every line of `section` of profile file `file` ("key=value" lines or
// bare names), whole and in order; empty for a missing file or section or
// an empty section name. A section past kSectionReadLimit loses its last,
// cut line (a cut name names another file) and the lines after it.
std::vector<std::string> ReadSectionLines(Context& ctx, const char* file,
                                          const char* section);

}  // namespace kv
