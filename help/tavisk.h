/* tavisk.h: the public interface of Tavisk, the help launcher.
 *
 * Tavisk opens a compiled HTML Help file (.chm) in the platform's HTML Help viewer, at the
 * file's default topic or at a numeric help context. At first use it loads the HTML Help
 * control from where the platform registered it (or, failing that, from the system
 * directory), and from then on forwards every request to it, with the desktop window as the
 * owner. It shows no message of its own: the only sign of failure is a NULL result.
 *
 * Plain C; include it from C or C++. Windows only. Both functions use the C calling
 * convention (the caller removes the arguments) and are exported undecorated.
 */
#ifndef TAVISK_H
#define TAVISK_H

#include <stdint.h>

#if defined(TAVISK_BUILDING)
#define TAVISK_API(type) __declspec(dllexport) type __cdecl
#else
#define TAVISK_API(type) __declspec(dllimport) type __cdecl
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Opens `helpFile` at its default topic. Returns the viewer's window handle (an HWND), or
 * NULL when the viewer refused the file or the HTML Help control cannot be loaded. The path
 * is handed to the viewer unchanged, NULL and "" included. */
TAVISK_API(void*) launchHelp(const char* helpFile);

/* Opens `helpFile` at the topic mapped to context number `topicID`, which is handed to the
 * viewer bit for bit. Returns as launchHelp does; what the viewer does with a context number
 * the file does not map is the viewer's affair. */
TAVISK_API(void*) launchHelpByTopicID(const char* helpFile, uint32_t topicID);

#ifdef __cplusplus
}
#endif

#endif /* TAVISK_H */
