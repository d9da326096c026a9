// The program's platform seam for files: the folders it walks and the data files it opens, by
// the paths it holds (bytes natively; WTF-8 on Windows, where the wide functions take them, so
// names outside the ANSI code page open too). files_posix.cpp and files_win32.cpp.
#pragma once

#include <memory>

#include "data_file.h"
#include "walk.h"

namespace korvale::engine {

std::unique_ptr<Folders> systemFolders();

DataFileOpener dataFileOpener();

}  // namespace korvale::engine
