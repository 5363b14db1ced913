// Folder creation for destinations and entry folders.
#pragma once

#include <string>

namespace extractor {

// Creates every folder level of path up to its last separator ("\" or "/");
// what follows the last separator is never created. Failures (the folder
// exists, a drive root, no right) are ignored.
void MakeDirectories(const std::u16string& path);

// As MakeDirectories, but leaves out the folder levels path shares with
// made, a path whose levels have all been made already, and stops at the
// first level that cannot be made: none below it could be. False then.
bool MakeDirectoriesAfter(const std::u16string& path, const std::u16string& made);

// The destination with a trailing "\" (a trailing "/" becomes one), its
// folders created.
std::u16string PrepareDestination(const std::u16string& destination);

}  // namespace extractor
