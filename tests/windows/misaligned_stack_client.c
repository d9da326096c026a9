/* misaligned_stack_client.c: calls every Korvalelib export as callers built with other
 * compilers may (Delphi, Visual Basic), with the stack aligned to 4 bytes only: ESP is 4, 8 or
 * 12 modulo 16 at each call. Once through the stdcall import library, once through
 * GetProcAddress by ordinal. Checks every result, and that every call left ESP where it was
 * before its arguments were pushed (the callee removes exactly its own arguments).
 *
 * 32-bit Windows only; exit status 0 when every call did what it should. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "korvalelib.h"

/* Calls `function` (stdcall) with `count` 32-bit arguments and ESP at `misalignment` modulo
 * 16 on the call instruction. Returns EAX; `moved` receives how far ESP ended up from where
 * it was before the arguments were pushed. */
__attribute__((noinline)) static uint32_t callMisaligned(const void* function,
                                                         const uint32_t* arguments, uint32_t count,
                                                         uint32_t misalignment, uint32_t* moved) {
  uint32_t result, distance, offset = (misalignment + 4 * count) & 15;
  __asm__ volatile(
      "movl %%esp, %%ebx\n\t" /* the caller's stack, restored at the end */
      "andl $-16, %%esp\n\t"
      "subl $16, %%esp\n\t"
      "addl %%edi, %%esp\n\t" /* after the pushes ESP is `misalignment` modulo 16 */
      "movl %%esp, %%esi\n\t"
      "1:\n\t"
      "testl %%ecx, %%ecx\n\t"
      "jz 2f\n\t"
      "pushl -4(%%edx,%%ecx,4)\n\t" /* the last argument first */
      "decl %%ecx\n\t"
      "jmp 1b\n\t"
      "2:\n\t"
      "call *%%eax\n\t"
      "movl %%esp, %%ecx\n\t"
      "subl %%esi, %%ecx\n\t"
      "movl %%ebx, %%esp\n\t"
      : "=a"(result), "=c"(distance), "+d"(arguments), "+D"(offset)
      : "0"(function), "1"(count)
      : "ebx", "esi", "memory", "cc");
  *moved = distance;
  return result;
}

/* The exports, by ordinal (korvalelib.def), with the number of arguments each takes. */
enum { kExports = 13 };
static const struct {
  const char* name;
  uint32_t arguments;
} kExport[kExports + 1] = {
    {NULL, 0},
    {"getInfoErrorString", 1},
    {"getInfoErrorCode", 0},
    {"getInfoCRC32", 1},
    {"getInfoCommandFile", 1},
    {"getInfoHeader", 1},
    {"resetCRC32inFile", 2},
    {"setCRC32inFile", 2},
    {"checkCRC32inFile", 2},
    {"getFailSafeCRC32", 1},
    {"getVersion", 1},
    {"getFullName", 1},
    {"getShortName", 1},
    {"reset", 0},
};

static const void* const kImported[kExports + 1] = {
    NULL,
    (const void*)DUDO66413_getInfoErrorString,
    (const void*)DUDO66413_getInfoErrorCode,
    (const void*)DUDO66413_getInfoCRC32,
    (const void*)DUDO66413_getInfoCommandFile,
    (const void*)DUDO66413_getInfoHeader,
    (const void*)DUDO66413_resetCRC32inFile,
    (const void*)DUDO66413_setCRC32inFile,
    (const void*)DUDO66413_checkCRC32inFile,
    (const void*)DUDO66413_getFailSafeCRC32,
    (const void*)DUDO66413_getVersion,
    (const void*)DUDO66413_getFullName,
    (const void*)DUDO66413_getShortName,
    (const void*)DUDO66413_reset,
};

static const void* functions[kExports + 1];
static uint32_t misalignment;
static const char* way;
static int calls, failures;

static void fail(const char* what, const char* got, const char* expected) {
  ++failures;
  printf("FAIL %s, ESP %u mod 16: %s: got \"%s\", expected \"%s\"\n", way, (unsigned)misalignment,
         what, got, expected);
}

static uint32_t call(int ordinal, uint32_t first, uint32_t second) {
  const uint32_t arguments[2] = {first, second};
  uint32_t moved;
  const uint32_t result = callMisaligned(functions[ordinal], arguments, kExport[ordinal].arguments,
                                         misalignment, &moved);
  ++calls;
  if (moved != 0) {
    char got[32];
    snprintf(got, sizeof got, "ESP moved by %d", (int)moved);
    fail(kExport[ordinal].name, got, "ESP unchanged");
  }
  return result;
}

static void expectText(int ordinal, const char* expected) {
  CountedString text;
  char got[256];
  call(ordinal, (uint32_t)&text, 0);
  snprintf(got, sizeof got, "%.*s", text.length, text.text);
  if (strcmp(got, expected) != 0) fail(kExport[ordinal].name, got, expected);
}

static void expectCode(const char* what, uint32_t code, uint32_t expected) {
  char got[16], want[16];
  snprintf(got, sizeof got, "%d", (int)code);
  snprintf(want, sizeof want, "%d", (int)expected);
  if (code != expected) fail(what, got, want);
}

/* A sink that remembers the maximum it was given, called back on the misaligned stack. */
static int32_t sinkMaximum, sinkPosition;
static void __stdcall setMinimum(void* context, int32_t value) {
  (void)context;
  (void)value;
}
static void __stdcall setMaximum(void* context, int32_t value) {
  (void)context;
  sinkMaximum = value;
}
static int32_t __stdcall getPosition(void* context) {
  (void)context;
  return sinkPosition;
}
static void __stdcall setPosition(void* context, int32_t value) {
  (void)context;
  sinkPosition = value;
}
static const ProgressSink kSink = {NULL, setMinimum, setMaximum, getPosition, setPosition};

enum { kFileSize = 600, kDigitsAt = 69 };

/* CRC-32/JAMCRC, bit by bit: independent of the library's engines. */
static uint32_t jamcrc(const unsigned char* bytes, size_t size) {
  uint32_t reg = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    reg ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) reg = (reg >> 1) ^ ((reg & 1) ? 0xEDB88320u : 0);
  }
  return reg;
}

static BOOL writeDataFile(const char* path, char* expectedCrc) {
  static const char filler[] = "<Value unit=\"bar\">350</Value>\r\n";
  unsigned char content[kFileSize];
  for (size_t i = 0; i < sizeof content; ++i) content[i] = filler[i % (sizeof filler - 1)];
  memcpy(content, "<?xml version=\"1.0\"?>", 21);
  memcpy(content + 60, "crc32=\"0x00000000\"", 18);
  sprintf(expectedCrc, "0x%08X", (unsigned)jamcrc(content, sizeof content));
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  DWORD written = 0;
  const BOOL ok = file != INVALID_HANDLE_VALUE &&
                  WriteFile(file, content, sizeof content, &written, NULL) &&
                  written == sizeof content;
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return ok;
}

/* Every export, each result checked; the file operations on a fresh file at `path`. */
static void callEveryExport(const char* path) {
  char expectedCrc[16], command[128];
  CountedString name;
  const size_t length = strlen(path);
  name.length = (unsigned char)length;
  memcpy(name.text, path, length);

  call(13, 0, 0); /* reset */
  expectCode("getInfoErrorCode after reset", call(2, 0, 0), 0);
  expectText(1, "OK");
  expectText(3, "");
  expectText(4, "");
  expectText(5, "Korvale [1.0.20120528]");
  expectText(9, "0x00000000");
  expectText(10, "1.0.20120528");
  expectText(11, "Korvale");
  expectText(12, "DUDO66413_2011-11");

  if (!writeDataFile(path, expectedCrc)) {
    fail("writing the data file", path, "written");
    return;
  }
  sinkMaximum = 0;
  expectCode("setCRC32inFile", call(7, (uint32_t)&name, (uint32_t)&kSink), 0);
  expectCode("the sink's maximum", (uint32_t)sinkMaximum, kFileSize);
  expectText(3, expectedCrc);
  snprintf(command, sizeof command, "SET ...%s", length > 60 ? path + length - 60 : path);
  expectText(4, command);
  expectCode("checkCRC32inFile", call(8, (uint32_t)&name, (uint32_t)&kSink), 0);
  expectText(1, "OK");
  expectText(3, expectedCrc);
  expectCode("resetCRC32inFile", call(6, (uint32_t)&name, 0), 0);
  expectCode("checkCRC32inFile after reset", call(8, (uint32_t)&name, 0), 1);
  expectCode("getInfoErrorCode", call(2, 0, 0), 1);
  expectText(1, "ERROR: [01] CRC is empty");
  expectText(3, "0x00000000");
  DeleteFileA(path);
  expectCode("checkCRC32inFile of a missing file", call(8, (uint32_t)&name, 0), 21);
  expectText(1, "ERROE: [21] Could not open file exclusive for ReadWrite.");
}

int main(void) {
  HMODULE library = GetModuleHandleA("Korvalelib.dll");
  char folder[MAX_PATH], path[MAX_PATH];
  if (!library || !GetTempPathA(MAX_PATH, folder) || !GetTempFileNameA(folder, "kvs", 0, path)) {
    printf("FAIL: no library or no temporary file\n");
    return 1;
  }
  for (int byOrdinal = 0; byOrdinal <= 1; ++byOrdinal) {
    way = byOrdinal ? "by ordinal" : "through the import library";
    for (int ordinal = 1; ordinal <= kExports; ++ordinal) {
      functions[ordinal] = byOrdinal
                               ? (const void*)GetProcAddress(library, MAKEINTRESOURCEA(ordinal))
                               : kImported[ordinal];
      if (!functions[ordinal]) {
        printf("FAIL: no export at ordinal %d\n", ordinal);
        return 1;
      }
    }
    for (misalignment = 4; misalignment < 16; misalignment += 4) callEveryExport(path);
  }
  DeleteFileA(path);
  printf("%d calls with ESP at 4, 8 and 12 mod 16: %d failed\n", calls, failures);
  return failures ? 1 : 0;
}
