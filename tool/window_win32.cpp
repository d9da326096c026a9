// The window: not built yet, so without arguments the program says so and fails.
#include "console.h"
#include "window.h"

namespace korvale {

int runWindow() {
  writeStandardError(
      "korvale: no window yet; give a command (try: korvale HELP)\n");
  return 1;
}

}  // namespace korvale
