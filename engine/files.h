// The program's platform seam for files: the folders it walks and the data files it opens, by
// the paths it holds (bytes natively; WTF-8 on Windows, where the wide functions take them, so
// names outside the ANSI code page open too). files_posix.cpp and files_win32.cpp.
#pragma once

#include <memory>

#include "data_file.h"
#include "file_operations.h"
#include "walk.h"

namespace korvale::engine {

std::unique_ptr<Folders> systemFolders();

// How `operation` opens its files: a check for reading, so that read-only files and media
// can be verified; set and reset exclusively for reading and writing.
DataFileOpener dataFileOpener(Operation operation);
// The same for a file of the walk. One that the folder's listing showed as a regular file is
// opened on that word where the platform allows it, without a look at its name first.
DataFileOpener dataFileOpener(Operation operation, const WalkedFile& file);

}  // namespace korvale::engine
