// Replacing a file so that a crash, a cut cable or a power loss at any moment
// leaves either the old contents or the new, never a torn mix: every file the
// program writes (data files, the settings file, the backup journal, the
// virtual adapter's chip state) goes through ReplaceFileDurably.
//
// Standard C++ and POSIX only; no Qt. The virtual adapter links it as well.
#pragma once

#include <cstddef>
#include <string>

namespace kestrin {

// Writes data into a new file with a unique name in the target's folder
// (".<name>.<pid>.<n>.kestrin-tmp"), syncs it, renames it over the target and
// syncs the folder. A symbolic link is followed, so the file it names is
// replaced and the link stays. An existing file that is write-protected is not
// replaced. On failure the target is untouched, the temporary file is removed
// and error (when given) holds the reason ("No space left on device").
bool ReplaceFileDurably(const std::string& fileName, const void* data, std::size_t size,
                        std::string* error = nullptr);

// Creates a folder and its parents; true when it exists afterwards.
bool MakeFolders(const std::string& folder, std::string* error = nullptr);

// Waits for an exclusive lock on an open file (flock), through interrupted
// waits: held until the descriptor is closed or the process ends in any way.
// False (errno set) when the file system refuses it.
bool LockFileExclusive(int fd);

// Makes a folder entry change (a new or removed file) durable.
void SyncFolder(const std::string& folder);

// Removes the temporary files that an interrupted replace left in folder:
// those of a process that has ended, or older than an hour. Returns how many
// were removed.
int RemoveInterruptedSaves(const std::string& folder);

// The file a replace of fileName writes: the end of its chain of symbolic links.
std::string ReplaceTarget(const std::string& fileName);

// Test seam: makes the data write of every following replace fail with this
// errno (ENOSPC for a full disk), after the temporary file was created. 0 ends it.
void FailDurableWritesWith(int error);

}  // namespace kestrin
