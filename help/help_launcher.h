// The help launcher's loader: finds the HTML Help control at first use, keeps it for the life
// of the process, and forwards each request to its entry point. Written against
// ViewerPlatform only. Internal to Tavisk.
#pragma once

#include <cstdint>
#include <span>

#include "viewer_platform.h"

namespace tavisk {

// Help commands of the HTML Help entry point.
inline constexpr uint32_t kDisplayTopic = 0;  // HH_DISPLAY_TOPIC: the file's default topic
inline constexpr uint32_t kHelpContext = 15;  // HH_HELP_CONTEXT: the topic of a context number

// Where the platform registers the HTML Help control; the default value is its module's path.
inline constexpr char kViewerKey[] =
    "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
// The control's module, loaded from the system directory when the registered one fails.
inline constexpr char kFallbackViewer[] = "hhctrl.ocx";
// HtmlHelpA, the control's 8-bit entry point, is looked up by ordinal, never by name.
inline constexpr uint16_t kViewerEntryOrdinal = 14;
// REG_EXPAND_SZ: a registry text with environment-variable references.
inline constexpr uint32_t kExpandableText = 2;

// The loaded control. All zero at start, written only by callHelpViewer, never reset.
struct ViewerCache {
  ModuleHandle viewerModule = nullptr;  // never unloaded
  EntryAddress viewerEntry = nullptr;
  int32_t viewerLoadFailed = 0;  // 1 once a load or the entry look-up failed; never cleared
};

// Reads the registered path of the control into `path`. False when the key is missing, its
// value unreadable or too large, or its expansion fails or needs more than kPathSize bytes.
bool findRegisteredViewer(ViewerPlatform& platform, std::span<char, kPathSize> path) noexcept;

// Makes sure the control and its entry point are loaded, then calls the entry point with the
// four values unchanged and returns its result. Null when the control cannot be reached:
// after both loads failed, every later call returns null at once; after a missing entry
// point, a later call repeats only the look-up.
WindowHandle callHelpViewer(ViewerPlatform& platform, ViewerCache& cache, WindowHandle owner,
                            const char* helpFile, uint32_t command, uintptr_t data) noexcept;

// The two exports, owned by the desktop window fetched anew on every call.
WindowHandle launchHelp(ViewerPlatform& platform, ViewerCache& cache,
                        const char* helpFile) noexcept;
WindowHandle launchHelpByTopicID(ViewerPlatform& platform, ViewerCache& cache, const char* helpFile,
                                 uint32_t topicID) noexcept;

}  // namespace tavisk
