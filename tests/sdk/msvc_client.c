/* examples/dll_client.c once more, built the way Microsoft's tools build a client: compiled
 * for their ABI and linked by lld-link against the SDK's Korvalelib.lib. No C runtime for that
 * ABI is at hand here, so it declares the four system calls it needs itself, and prints what
 * dll_client prints: the stamp, a dot per tenth of the file from the progress callbacks, the
 * check's message.
 *   msvc_client FILE */
#include "korvalelib.h"

__declspec(dllimport) void* __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* bytes, unsigned long count,
                                              unsigned long* written, void* overlapped);
__declspec(dllimport) char* __stdcall GetCommandLineA(void);
__declspec(dllimport) void __stdcall ExitProcess(unsigned status);

static void writeBytes(const char* bytes, unsigned long count) {
  unsigned long written;
  WriteFile(GetStdHandle((unsigned long)-11), bytes, count, &written, 0);
}

static void writeText(const char* text) {
  unsigned long count = 0;
  while (text[count]) ++count;
  writeBytes(text, count);
}

static void writeLine(const char* label, void(KORVALELIB_CALL* getter)(CountedString*)) {
  CountedString text;
  getter(&text);
  writeText(label);
  writeBytes(text.text, text.length);
  writeText("\n");
}

/* The first argument: what follows the program's own name, without quotes. */
static CountedString fileArgument(void) {
  const char* line = GetCommandLineA();
  CountedString name;
  name.length = 0;
  if (*line == '"') {
    for (++line; *line && *line != '"'; ++line) {
    }
    if (*line) ++line;
  } else {
    while (*line && *line != ' ') ++line;
  }
  while (*line == ' ') ++line;
  if (*line == '"') ++line;
  for (; *line && *line != '"' && name.length < 255; ++line) name.text[name.length++] = *line;
  return name;
}

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
    writeText(".");
    dots->shown++;
  }
}

void start(void) {
  const CountedString name = fileArgument();
  if (DUDO66413_setCRC32inFile(&name, 0) != 0) {
    writeLine("set failed: ", DUDO66413_getInfoErrorString);
    ExitProcess(1);
  }
  writeLine("stamped ", DUDO66413_getInfoCRC32);
  struct Dots dots = {0, 0, 0};
  const ProgressSink sink = {&dots, setMinimum, setMaximum, getPosition, setPosition};
  const int32_t code = DUDO66413_checkCRC32inFile(&name, &sink);
  writeText("\n");
  writeLine("check: ", DUDO66413_getInfoErrorString);
  ExitProcess(code == 0 ? 0 : 1);
}
