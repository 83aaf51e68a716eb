// Expanding copy of one driver file from the installation medium, and the
// file-list name helper that goes with it.
#pragma once

#include <string>

#include "foundation/context.h"

namespace kv {

// The name a file is stored under on the medium when it is compressed:
// SETUP.DLL -> SETUP.DL_, NOTE.TX -> NOTE.TX_, A.ABCDEF and A.ABCDE -> A.AB_;
// a name without an extension or with one of one, four or more than six
// characters stays as it is. Positions before the start are never looked at.
std::string CompressedStoredName(const std::string& fileName);

// Copies `fileName` from `sourceDir` to `destDir` through the LZ expansion
// interface, which expands a compressed file and copies a plain one
// unchanged. Both directories are joined to names as given (they end in a
// backslash). When `listedName` differs from `fileName` (ignoring case) the
// file is read from the medium under its compressed name. A source directory
// longer than 100 characters is first copied to the staging folder (left
// there with normal attributes), since the LZ interface opens files for
// reading through a 128-byte path buffer.
//
// Nothing is reported: the result is always 1. A path that would not fit 260
// bytes is never built: the copy is then not made and nothing is written.
// When the source can't be opened, the destination is not touched (an
// existing file stays as it was). `installerCode` is the installer's code,
// unused.
int ExpCopy(Context& ctx, const std::string& sourceDir,
            const std::string& destDir, const std::string& fileName,
            const std::string& listedName, int installerCode);

// Cuts a "=" suffix of one to three characters off a file-list entry in
// place (VT3EINS.SII=1 -> VT3EINS.SII); an "=" followed by four or more
// characters, or ending the text, stays. Always 1.
int DefineFileName(char* entry);

}  // namespace kv
