// The two exports of Tavisk: each forwards to the loader on the running system, with the
// process's one viewer cache. The loader and the platform are noexcept and allocate nothing,
// so no exception can reach the caller.
#include "help_launcher.h"
#include "tavisk.h"
#include "viewer_platform.h"

namespace {

// Filled on first use and never reset: the control stays loaded for the life of the process.
constinit tavisk::ViewerCache cache;

}  // namespace

TAVISK_API(void*) launchHelp(const char* helpFile) {
  return tavisk::launchHelp(tavisk::systemViewerPlatform(), cache, helpFile);
}

TAVISK_API(void*) launchHelpByTopicID(const char* helpFile, uint32_t topicID) {
  return tavisk::launchHelpByTopicID(tavisk::systemViewerPlatform(), cache, helpFile, topicID);
}
