/* dll_client.c: stamps a data file's CRC through Korvalelib and checks it again, showing
 * progress, as any C program can. Build: cc dll_client.c -I<include> -L<lib> -lKorvalelib */
#include <stdio.h>
#include <string.h>

#include "korvalelib.h"

static CountedString counted(const char* text) {
  CountedString s;
  size_t length = strlen(text);
  s.length = (unsigned char)(length > 255 ? 255 : length);
  memcpy(s.text, text, s.length);
  return s;
}

static void print(const char* label, void(KORVALELIB_CALL* getter)(CountedString*)) {
  CountedString text; /* 256 bytes, as every text result needs */
  getter(&text);
  printf("%s%.*s\n", label, text.length, text.text);
}

/* A progress indicator that prints a dot for every tenth of the file. */
struct Dots {
  int32_t maximum, position, shown;
};
static void KORVALELIB_CALL setMinimum(void* context, int32_t value) {
  (void)context;
  (void)value;
}
static void KORVALELIB_CALL setMaximum(void* context, int32_t value) {
  ((struct Dots*)context)->maximum = value;
}
static int32_t KORVALELIB_CALL getPosition(void* context) {
  return ((struct Dots*)context)->position;
}
static void KORVALELIB_CALL setPosition(void* context, int32_t value) {
  struct Dots* dots = context;
  dots->position = value;
  while (dots->maximum > 0 && dots->shown < 10 &&
         (int64_t)value * 10 >= (int64_t)dots->maximum * (dots->shown + 1)) {
    putchar('.');
    dots->shown++;
  }
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: dll_client FILE\n");
    return 2;
  }
  const CountedString name = counted(argv[1]);

  if (DUDO66413_setCRC32inFile(&name, NULL) != 0) {
    print("set failed: ", DUDO66413_getInfoErrorString);
    return 1;
  }
  print("stamped ", DUDO66413_getInfoCRC32);

  struct Dots dots = {0, 0, 0};
  const ProgressSink sink = {&dots, setMinimum, setMaximum, getPosition, setPosition};
  const int32_t code = DUDO66413_checkCRC32inFile(&name, &sink);
  printf("\n");
  print("check: ", DUDO66413_getInfoErrorString);
  return code == 0 ? 0 : 1;
}
