// The prefix: the folder where the platform keeps its state for one user ($KAZ_PREFIX, by
// default $XDG_DATA_HOME/kazpro, i.e. ~/.local/share/kazpro). Both programs of a user share
// it; every test gets one of its own.
#pragma once

#include <string>

namespace win32 {

// The prefix folder, made on first use. Empty when it cannot be made or written; that is
// reported once on standard error and every caller then fails with its own error code.
const std::string& PrefixDir();

// A folder below the prefix (made when missing), e.g. "windows" or "run". Empty when the
// prefix is unusable or the folder cannot be made.
std::string PrefixSubdir(const std::string& relative);

// Forgets the cached prefix so that the next call reads the environment again. For tests
// that change KAZ_PREFIX inside one process.
void ResetPrefixForTesting();

}  // namespace win32
