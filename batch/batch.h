// A whole run of korvale-batch: the paths walked on one thread, the files worked on by the
// workers, the lines printed in order, the progress line, the summary and the exit status.
#pragma once

#include "options.h"

namespace korvale::batch {

// 0 when every file gave 0, 1 when any did not or the run could not finish, 2 when the
// --files-from list cannot be opened.
int runBatch(const Options& options);

}  // namespace korvale::batch
