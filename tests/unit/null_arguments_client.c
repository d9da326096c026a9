/* null_arguments_client.c: NULL where the exports take a pointer, passed from C as a client
 * passes it: a NULL file name, NULL result buffers, and progress sinks with NULL callbacks.
 * Works on null_arguments.xml in the current folder. Exit status 0 when every call did what
 * it should. */
#include <stdio.h>
#include <string.h>

#include "korvalelib.h"

static int failures;
static char context[64]; /* the case at hand, for the failures' lines */

static void expectCode(const char* what, int32_t code, int32_t expected) {
  if (code == expected) return;
  ++failures;
  printf("FAIL %s: %s: got %d, expected %d\n", context, what, (int)code, (int)expected);
}

static void expectText(const char* what, void(KORVALELIB_CALL* getter)(CountedString*),
                       const char* expected) {
  CountedString text;
  getter(&text);
  if (text.length == strlen(expected) && memcmp(text.text, expected, text.length) == 0) return;
  ++failures;
  printf("FAIL %s: %s: got \"%.*s\", expected \"%s\"\n", context, what, text.length, text.text,
         expected);
}

/* A progress bar that records what it is given. */
enum { kMaxPositions = 16 };
struct Bar {
  int minimumCalls, getCalls, positionCount;
  int32_t maximum, position, positions[kMaxPositions];
};
static void KORVALELIB_CALL setMinimum(void* context, int32_t value) {
  (void)value;
  ((struct Bar*)context)->minimumCalls++;
}
static void KORVALELIB_CALL setMaximum(void* context, int32_t value) {
  ((struct Bar*)context)->maximum = value;
}
static int32_t KORVALELIB_CALL getPosition(void* context) {
  struct Bar* bar = context;
  bar->getCalls++;
  return bar->position;
}
static void KORVALELIB_CALL setPosition(void* context, int32_t value) {
  struct Bar* bar = context;
  bar->position = value;
  if (bar->positionCount < kMaxPositions) bar->positions[bar->positionCount++] = value;
}

enum { kFileSize = 600 };
static const char kFile[] = "null_arguments.xml";

static int writeDataFile(void) {
  static const char filler[] = "<Value unit=\"bar\">350</Value>\r\n";
  char content[kFileSize];
  for (size_t i = 0; i < sizeof content; ++i) content[i] = filler[i % (sizeof filler - 1)];
  memcpy(content, "<?xml version=\"1.0\"?>", 21);
  memcpy(content + 60, "crc32=\"0x00000000\"", 18);
  FILE* file = fopen(kFile, "wb");
  if (!file) return 0;
  const int written = fwrite(content, 1, sizeof content, file) == sizeof content;
  return fclose(file) == 0 && written;
}

typedef int32_t(KORVALELIB_CALL* FileOperation)(const CountedString*, const ProgressSink*);

/* A NULL name ends as a file that cannot be opened: 21, the command words with nothing after
 * them, the CRC text of a failure; the sink is not called. */
static void nullFileName(const CountedString* file) {
  static const struct {
    const char* command;
    FileOperation operation;
    const char* crcText;
  } operations[] = {{"CHECK ...", DUDO66413_checkCRC32inFile, "0x00000000"},
                    {"SET ...", DUDO66413_setCRC32inFile, ""},
                    {"RESET ...", DUDO66413_resetCRC32inFile, "0x00000000"}};
  for (size_t i = 0; i < sizeof operations / sizeof operations[0]; ++i) {
    struct Bar bar = {0};
    const ProgressSink sink = {&bar, setMinimum, setMaximum, getPosition, setPosition};
    snprintf(context, sizeof context, "%sNULL", operations[i].command);
    /* The record holds another operation's outcome first. */
    expectCode("set before", DUDO66413_setCRC32inFile(file, NULL), 0);
    expectCode("the code", operations[i].operation(NULL, &sink), 21);
    expectCode("the recorded code", DUDO66413_getInfoErrorCode(), 21);
    expectText("the error text", DUDO66413_getInfoErrorString,
               "ERROE: [21] Could not open file exclusive for ReadWrite.");
    expectText("the command text", DUDO66413_getInfoCommandFile, operations[i].command);
    expectText("the CRC text", DUDO66413_getInfoCRC32, operations[i].crcText);
    expectCode("sink calls", bar.minimumCalls + bar.getCalls + bar.positionCount, 0);
  }
}

/* Every text getter, given no buffer, writes nothing and leaves the record as it was. */
static void nullResultBuffers(void) {
  void(KORVALELIB_CALL* const getters[])(CountedString*) = {
      DUDO66413_getInfoErrorString, DUDO66413_getInfoCRC32,     DUDO66413_getInfoCommandFile,
      DUDO66413_getInfoHeader,      DUDO66413_getFailSafeCRC32, DUDO66413_getVersion,
      DUDO66413_getFullName,        DUDO66413_getShortName};
  snprintf(context, sizeof context, "the getters given NULL");
  for (size_t i = 0; i < sizeof getters / sizeof getters[0]; ++i) getters[i](NULL);
  expectCode("the recorded code", DUDO66413_getInfoErrorCode(), 21);
  expectText("the command text", DUDO66413_getInfoCommandFile, "RESET ...");
}

/* A sink with one callback left NULL (or all four) gets the same calls from the others as a
 * full one; without getPosition the positions count on from the last one set. */
static void nullCallbacks(const CountedString* file) {
  static const char* const kCallbacks[] = {"setMinimum", "setMaximum", "getPosition", "setPosition",
                                           "every callback"};
  struct Bar full = {0};
  const ProgressSink fullSink = {&full, setMinimum, setMaximum, getPosition, setPosition};
  snprintf(context, sizeof context, "set with a full sink");
  expectCode("the code", DUDO66413_setCRC32inFile(file, &fullSink), 0);
  expectCode("the maximum", full.maximum, kFileSize);
  for (int missing = 0; missing <= 4; ++missing) {
    for (int check = 0; check <= 1; ++check) {
      struct Bar bar = {0};
      ProgressSink sink = {&bar, setMinimum, setMaximum, getPosition, setPosition};
      if (missing == 0 || missing == 4) sink.setMinimum = NULL;
      if (missing == 1 || missing == 4) sink.setMaximum = NULL;
      if (missing == 2 || missing == 4) sink.getPosition = NULL;
      if (missing == 3 || missing == 4) sink.setPosition = NULL;
      snprintf(context, sizeof context, "%s, %s NULL", check ? "check" : "set",
               kCallbacks[missing]);
      expectCode(
          "the code",
          check ? DUDO66413_checkCRC32inFile(file, &sink) : DUDO66413_setCRC32inFile(file, &sink),
          0);
      expectCode("setMinimum calls", bar.minimumCalls, sink.setMinimum ? full.minimumCalls : 0);
      expectCode("the maximum", bar.maximum, sink.setMaximum ? full.maximum : 0);
      expectCode("getPosition calls", bar.getCalls, sink.getPosition ? full.getCalls : 0);
      expectCode("setPosition calls", bar.positionCount, sink.setPosition ? full.positionCount : 0);
      for (int p = 0; p < bar.positionCount; ++p) {
        expectCode("a position", bar.positions[p], full.positions[p]);
      }
    }
  }
}

int main(void) {
  CountedString file;
  file.length = (unsigned char)strlen(kFile);
  memcpy(file.text, kFile, file.length);
  if (!writeDataFile()) {
    printf("FAIL: cannot write %s\n", kFile);
    return 1;
  }
  nullFileName(&file);
  nullResultBuffers();
  nullCallbacks(&file);
  remove(kFile);
  printf("%d failed\n", failures);
  return failures ? 1 : 0;
}
