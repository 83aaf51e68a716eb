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

// The LZ expansion interface expands a compressed file and copies a plain one
// unchanged. The directories are joined to the names as given. A long source
// directory goes through the staging folder because the LZ interface opens
// files through a 128-byte path buffer. `installerCode` is unused.
// 1 only when the destination holds the whole expanded file. 0 leaves the
// destination as it was: the expansion goes to a new file beside it that
// replaces it only when complete, a failed staging copy is never expanded
// (the staged file is removed), and a destination that is the source file
// itself is never opened for writing.
// The export's contract: exports/staging_exports.h (ExpCopy).
int ExpCopy(Context& ctx, const std::string& sourceDir,
            const std::string& destDir, const std::string& fileName,
            const std::string& listedName, int installerCode);

// A null `entry` is left alone. The cut is CutEqualsSuffix's.
// The export's contract: exports/staging_exports.h (DefineFileName).
int DefineFileName(char* entry);

}  // namespace kv
