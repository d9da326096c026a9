/* lock_racer.c: many processes call lockApplication on one name at the same moment, through
 * the plug-in DLL as an installer calls it; exactly one of them may get the lock.
 *
 *   lock_racer PLUGIN_DLL         starts the racers and prints how many got the lock;
 *                                 exit status 0 when exactly one did
 *   lock_racer PLUGIN_DLL racer   one racer (started by the above)
 *
 * Written in C, against the public header only. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "pelwick.h"

enum { kRacers = 16, kStringSize = 1024 };

#define READY_NAME "Local\\PelwickRaceReady"
#define START_NAME "Local\\PelwickRaceStart"
#define TRIED_NAME "Local\\PelwickRaceTried"
#define FINISH_NAME "Local\\PelwickRaceFinish"

static pelwick_char variables[25 * kStringSize];

/* Pushes the text as the host does: one GPTR block per entry. */
static void push(pelwick_stack_t** top, const pelwick_char* text) {
  pelwick_stack_t* entry =
      GlobalAlloc(GPTR, sizeof(pelwick_stack_t) + kStringSize * sizeof(pelwick_char));
  lstrcpyn(entry->text, text, kStringSize);
  entry->next = *top;
  *top = entry;
}

/* Exit status 1 when this racer got the lock. It holds on until every racer has tried, so
 * that the counter cannot go back to 0 in between. */
static int race(const char* dll) {
  HMODULE plugin = LoadLibraryA(dll);
  pelwick_export lockApplication =
      plugin ? (pelwick_export)(void (*)(void))GetProcAddress(plugin, "lockApplication") : NULL;
  HANDLE ready = OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, READY_NAME);
  HANDLE start = OpenEventA(SYNCHRONIZE, FALSE, START_NAME);
  HANDLE tried = OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, TRIED_NAME);
  HANDLE finish = OpenEventA(SYNCHRONIZE, FALSE, FINISH_NAME);
  pelwick_stack_t* top = NULL;
  int won;
  if (!lockApplication || !ready || !start || !tried || !finish) {
    fprintf(stderr, "racer: cannot set up\n");
    return 2;
  }
  push(&top, TEXT("Local\\PelwickRace"));
  ReleaseSemaphore(ready, 1, NULL);
  WaitForSingleObject(start, INFINITE);
  lockApplication(NULL, kStringSize, variables, &top, NULL);
  won = top && lstrcmp(top->text, TEXT("true")) == 0;
  ReleaseSemaphore(tried, 1, NULL);
  WaitForSingleObject(finish, INFINITE);
  return won;
}

/* Waits for `count` releases of the semaphore, each within ten seconds. */
static BOOL collect(HANDLE semaphore, int count) {
  for (int i = 0; i < count; ++i) {
    if (WaitForSingleObject(semaphore, 10000) != WAIT_OBJECT_0) return FALSE;
  }
  return TRUE;
}

static int referee(const char* self, const char* dll) {
  HANDLE ready = CreateSemaphoreA(NULL, 0, kRacers, READY_NAME);
  HANDLE start = CreateEventA(NULL, TRUE, FALSE, START_NAME);
  HANDLE tried = CreateSemaphoreA(NULL, 0, kRacers, TRIED_NAME);
  HANDLE finish = CreateEventA(NULL, TRUE, FALSE, FINISH_NAME);
  HANDLE racers[kRacers];
  int started = 0, winners = 0, failures = 0;
  for (; started < kRacers; ++started) {
    char commandLine[2 * MAX_PATH + 16];
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    /* The racers write their messages where this program writes its own. */
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    snprintf(commandLine, sizeof commandLine, "\"%s\" \"%s\" racer", self, dll);
    if (!CreateProcessA(self, commandLine, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) {
      break;
    }
    CloseHandle(process.hThread);
    racers[started] = process.hProcess;
  }
  if (started == kRacers && collect(ready, kRacers)) {
    SetEvent(start);
    if (!collect(tried, kRacers)) ++failures;
  } else {
    ++failures;
  }
  SetEvent(finish);
  for (int i = 0; i < started; ++i) {
    DWORD status = 2;
    WaitForSingleObject(racers[i], 30000);
    GetExitCodeProcess(racers[i], &status);
    if (status == 1) {
      ++winners;
    } else if (status != 0) {
      ++failures;
    }
    CloseHandle(racers[i]);
  }
  printf("racers=%d winners=%d failures=%d\n", started, winners, failures);
  return winners == 1 && failures == 0 ? 0 : 1;
}

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[2], "racer") == 0) return race(argv[1]);
  if (argc == 2) {
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    return referee(self, argv[1]);
  }
  fprintf(stderr, "usage: lock_racer PLUGIN_DLL\n");
  return 2;
}
