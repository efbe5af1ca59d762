#pragma once
#include <string>

namespace orv {

// The folder for the program's temporary files: TMPDIR when it is set, else /tmp.
std::string temporaryFolder();

// Opens a new file for reading and writing in the temporary folder that has no
// name from the start (or loses it at once where the file system cannot make
// such files), so that it disappears with its last descriptor, even when the
// process is killed. Returns the descriptor; raises FileWriteError naming the
// folder when none can be made.
int openUnnamedTemporaryFile();

}  // namespace orv
