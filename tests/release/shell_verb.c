/* shell_verb: does what Explorer does with a static verb of the registry: reads the command of
 * the verb's key, fills in its placeholders for each item and starts it, once per item (as
 * Explorer starts a command-line verb for each of several selected items), without waiting.
 *   shell_verb HKLM|HKCU SUBKEY ITEM...
 * SUBKEY is the verb's key, such as Software\Classes\Directory\shell\KorvaleCheck; its command is
 * the default value of SUBKEY\command (a REG_EXPAND_SZ one expanded). %1, %L and %V stand for the
 * item's path (for a folder's background, the folder: what %V names), %% for a percent sign.
 * Prints each command line it starts. Exit status 0, 1 when the command cannot be read or a
 * process cannot be started, 2 for a bad command line. */
#include <stdio.h>
#include <wchar.h>
#include <windows.h>

static int fill(const wchar_t* command, const wchar_t* item, wchar_t* out, size_t size) {
  size_t used = 0;
  for (const wchar_t* c = command; *c; ++c) {
    const wchar_t* insert = NULL;
    wchar_t single[2] = {*c, 0};
    if (c[0] == L'%' &&
        (c[1] == L'1' || c[1] == L'L' || c[1] == L'l' || c[1] == L'V' || c[1] == L'v')) {
      insert = item;
      ++c;
    } else if (c[0] == L'%' && c[1] == L'%') {
      insert = L"%";
      ++c;
    } else {
      insert = single;
    }
    const size_t length = wcslen(insert);
    if (used + length + 1 > size) return 0;
    wmemcpy(out + used, insert, length);
    used += length;
  }
  out[used] = 0;
  return 1;
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 4 || (wcscmp(argv[1], L"HKLM") != 0 && wcscmp(argv[1], L"HKCU") != 0)) {
    fprintf(stderr, "usage: shell_verb HKLM|HKCU SUBKEY ITEM...\n");
    return 2;
  }
  HKEY root = wcscmp(argv[1], L"HKLM") == 0 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  wchar_t key[1024];
  swprintf(key, 1024, L"%ls\\command", argv[2]);
  wchar_t command[4096];
  DWORD size = sizeof command;
  const LSTATUS status = RegGetValueW(root, key, NULL, RRF_RT_REG_SZ, NULL, command, &size);
  if (status != ERROR_SUCCESS) {
    printf("cannot read %ls\\%ls (system error %ld)\n", argv[1], key, (long)status);
    return 1;
  }
  for (int i = 3; i < argc; ++i) {
    wchar_t line[8192];
    if (!fill(command, argv[i], line, sizeof line / sizeof line[0])) return 1;
    char shown[16384];
    WideCharToMultiByte(CP_UTF8, 0, line, -1, shown, sizeof shown, NULL, NULL);
    printf("%s\n", shown);
    fflush(stdout);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
      printf("cannot start it (system error %lu)\n", GetLastError());
      return 1;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  return 0;
}
