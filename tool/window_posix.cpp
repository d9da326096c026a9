// The Linux build has no window: without arguments it says so and fails.
#include "console.h"
#include "window.h"

namespace korvale {

int runWindow() {
  writeStandardError("korvale: this build has no window; give a command (try: korvale HELP)\n");
  return 1;
}

}  // namespace korvale
