// The loader of the HTML Help control and the forwarding of requests to it.
#include "help_launcher.h"

#include <algorithm>
#include <cstring>

namespace tavisk {

bool findRegisteredViewer(ViewerPlatform& platform, std::span<char, kPathSize> path) noexcept {
  KeyHandle key = nullptr;
  if (!platform.openClassesRootKey(kViewerKey, key)) return false;

  // Zeroed, so that a value stored without its terminating zero still ends where its data
  // ends.
  char value[kPathSize] = {};
  uint32_t type = 0;
  uint32_t size = kPathSize;
  bool found = platform.readDefaultValue(key, type, value, size);
  if (found) {
    // A value that fills the buffer may lack its zero: cut it to kPathSize - 1 characters.
    value[kPathSize - 1] = '\0';
    if (type == kExpandableText) {
      const uint32_t needed = platform.expandEnvironmentStrings(value, path.data(), kPathSize);
      found = needed >= 1 && needed <= kPathSize;
    } else {
      // Any other type is taken as text; it fits, since the value now ends within the buffer.
      std::copy_n(value, std::strlen(value) + 1, path.begin());
    }
  }
  platform.closeKey(key);
  return found;
}

WindowHandle callHelpViewer(ViewerPlatform& platform, ViewerCache& cache, WindowHandle owner,
                            const char* helpFile, uint32_t command, uintptr_t data) noexcept {
  if (!cache.viewerModule) {
    if (cache.viewerLoadFailed) return nullptr;
    char path[kPathSize];
    if (findRegisteredViewer(platform, path)) cache.viewerModule = platform.loadModule(path);
    if (!cache.viewerModule) cache.viewerModule = platform.loadSystemModule(kFallbackViewer);
    if (!cache.viewerModule) {
      cache.viewerLoadFailed = 1;
      return nullptr;
    }
  }
  if (!cache.viewerEntry) {
    // The module stays loaded without it, so a later call repeats only this look-up.
    cache.viewerEntry = platform.findExport(cache.viewerModule, kViewerEntryOrdinal);
    if (!cache.viewerEntry) {
      cache.viewerLoadFailed = 1;
      return nullptr;
    }
  }
  return platform.callViewer(cache.viewerEntry, owner, helpFile, command, data);
}

WindowHandle launchHelp(ViewerPlatform& platform, ViewerCache& cache,
                        const char* helpFile) noexcept {
  return callHelpViewer(platform, cache, platform.desktopWindow(), helpFile, kDisplayTopic, 0);
}

WindowHandle launchHelpByTopicID(ViewerPlatform& platform, ViewerCache& cache, const char* helpFile,
                                 uint32_t topicID) noexcept {
  return callHelpViewer(platform, cache, platform.desktopWindow(), helpFile, kHelpContext, topicID);
}

}  // namespace tavisk
