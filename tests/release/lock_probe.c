/* lock_probe.c: prints the application-lock counter kept under a name (0 when no process
 * holds the section), so a test can tell when an installer holds its lock. */
#include <stdio.h>
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  HANDLE section = OpenFileMappingA(FILE_MAP_READ, FALSE, argv[1]);
  if (!section) {
    printf("0\n");
    return 0;
  }
  const LONG* counter = MapViewOfFile(section, FILE_MAP_READ, 0, 0, 0);
  printf("%ld\n", counter ? *counter : 0L);
  if (counter) UnmapViewOfFile(counter);
  CloseHandle(section);
  return 0;
}
