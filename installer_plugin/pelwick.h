/* pelwick.h: the public interface of Pelwick, the NSIS installer plug-in, and the pieces of the
 * host's plug-in interface that its exports receive.
 *
 * Every export takes one string from the installer's stack and pushes one result:
 *   getDriveType       a path          -> the platform's drive type as decimal text ("3": fixed)
 *   isQuarnAppRunning  a section name  -> "true" while the named shared counter is not 0, and
 *                                         when the counter cannot be read (better safe than
 *                                         overwriting a running program)
 *   lockApplication    a section name  -> "true" when this process took the application lock
 *   unlockApplication  any string      -> "true" when this process gave a held lock back
 * Any other outcome pushes "false", as does every export called with an empty stack. A failure
 * of the lock routines also writes a message on standard error: "No applications allocated."
 * (unlockApplication without a held lock) as it stands, every other one with a line feed.
 *
 * Plain C; include it from C or C++. On Windows the exports use the C calling convention and
 * are exported undecorated. Text is 8-bit (the ANSI code page) unless UNICODE is defined, as
 * the host's text is for the x86-unicode and amd64-unicode plug-in folders.
 */
#ifndef PELWICK_H
#define PELWICK_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define PELWICK_CALL __cdecl
#define PELWICK_HOST_CALL __stdcall
#if defined(PELWICK_BUILDING)
#define PELWICK_API __declspec(dllexport)
#else
#define PELWICK_API __declspec(dllimport)
#endif
#else
#define PELWICK_CALL
#define PELWICK_HOST_CALL
#define PELWICK_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The host's character: the one place where the text width is chosen. */
#if defined(UNICODE)
typedef wchar_t pelwick_char;
#else
typedef char pelwick_char;
#endif

/* One entry of the installer's string stack: a block from the global heap (GlobalAlloc with
 * GPTR) of sizeof(pelwick_stack_t) plus the string size in characters. The text ends with a
 * NUL and holds at most the string size less one characters. Whoever pops an entry frees it
 * with GlobalFree. */
typedef struct pelwick_stack_t {
  struct pelwick_stack_t* next; /* the entry below; null in the bottom entry */
  pelwick_char text[1];
} pelwick_stack_t;

/* The installer's flags, as the host lays them out. */
typedef struct pelwick_exec_flags {
  int autoclose;
  int all_user_var;
  int exec_error;
  int abort;
  int exec_reboot;
  int reboot_called;
  int XXX_cur_insttype;
  int plugin_api_version; /* 0x00010000 and above: RegisterPluginCallback may be called */
  int silent;
  int instdir_error;
  int rtl;
  int errlvl;
  int alter_reg_view;
  int status_update;
} pelwick_exec_flags;

#define PELWICK_PLUGIN_API_1_0 0x00010000

/* What the host tells a registered callback. */
enum pelwick_plugin_message {
  PELWICK_NSPIM_UNLOAD = 0,   /* the installer ends; the last message */
  PELWICK_NSPIM_GUIUNLOAD = 1 /* the installer's window has gone */
};

/* Answers 0 to every message. */
typedef uintptr_t (*pelwick_plugin_callback)(enum pelwick_plugin_message message);

/* The host's fifth argument to every export. A plug-in that registers a callback stays
 * loaded until the installer ends; otherwise the host frees it after each call. */
typedef struct pelwick_extra_parameters {
  pelwick_exec_flags* exec_flags;
  int(PELWICK_HOST_CALL* ExecuteCodeSegment)(int position, void* parent);
  void(PELWICK_HOST_CALL* validate_filename)(pelwick_char* name);
  /* 0 registered, 1 already registered, below 0 refused. */
  int(PELWICK_HOST_CALL* RegisterPluginCallback)(void* module, pelwick_plugin_callback callback);
} pelwick_extra_parameters;

/* The exports, as the host calls them. `parent` is the installer's window (unused),
 * `string_size` the capacity in characters of one stack entry's text and of one user
 * variable, `variables` the host's 25 user variables laid end to end, `stacktop` the host's
 * pointer to the top entry. */
PELWICK_API void PELWICK_CALL getDriveType(void* parent, int string_size, pelwick_char* variables,
                                           pelwick_stack_t** stacktop,
                                           pelwick_extra_parameters* extra);
PELWICK_API void PELWICK_CALL isQuarnAppRunning(void* parent, int string_size,
                                                pelwick_char* variables, pelwick_stack_t** stacktop,
                                                pelwick_extra_parameters* extra);
PELWICK_API void PELWICK_CALL lockApplication(void* parent, int string_size,
                                              pelwick_char* variables, pelwick_stack_t** stacktop,
                                              pelwick_extra_parameters* extra);
PELWICK_API void PELWICK_CALL unlockApplication(void* parent, int string_size,
                                                pelwick_char* variables, pelwick_stack_t** stacktop,
                                                pelwick_extra_parameters* extra);

/* The type of every export, for a host that looks them up with GetProcAddress. */
typedef void(PELWICK_CALL* pelwick_export)(void* parent, int string_size, pelwick_char* variables,
                                           pelwick_stack_t** stacktop,
                                           pelwick_extra_parameters* extra);

#ifdef __cplusplus
}
#endif

#endif /* PELWICK_H */
