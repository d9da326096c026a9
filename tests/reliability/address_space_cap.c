/* address_space_cap.c: the shared library as a C client calls it, with the address space capped
 * (RLIMIT_AS) at what the process already uses plus a margin of 0 to 384 KiB. Check, set and
 * reset each run in a child process under every cap. Whatever memory the library cannot have,
 * the outcome is the right one or 21 with a record that says so, never an abort, and the file
 * changes only as a successful operation changes it. Below the 252 KiB that the large read
 * buffer takes, check and set must still give the right answer at some cap: the pass then
 * reads into the stack. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "korvalelib.h"

enum { kSize = 600 * 1024 + 123, kReadBuffer = 1024 * 252, kMaxMargin = 384 };

enum Outcome { kRight = 0, kRefused = 1, kWrong = 2 };

static const char kHead[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Library crc32=\"0x00000000\">";
static const char* const kOperations[] = {"check", "set", "reset"};

static char plain[kSize], stamped[kSize];
static char crcText[11];
static char path[512];

/* CRC-32/JAMCRC, one bit at a time: the reference, independent of the library. */
static uint32_t jamcrc(const char* bytes, size_t count) {
  uint32_t reg = 0xFFFFFFFFu;
  for (size_t i = 0; i < count; ++i) {
    reg ^= (uint8_t)bytes[i];
    for (int bit = 0; bit < 8; ++bit) reg = (reg >> 1) ^ ((reg & 1) ? 0xEDB88320u : 0);
  }
  return reg;
}

static void writeWhole(const char* content) {
  FILE* file = fopen(path, "wb");
  if (!file || fwrite(content, 1, kSize, file) != kSize || fclose(file) != 0) {
    perror(path);
    exit(2);
  }
}

/* 1 when the file holds exactly `content`. */
static int holds(const char* content) {
  static char read[kSize + 1];
  FILE* file = fopen(path, "rb");
  if (!file) return 0;
  size_t n = fread(read, 1, sizeof read, file);
  fclose(file);
  return n == kSize && memcmp(read, content, kSize) == 0;
}

static size_t addressSpaceInUse(void) {
  unsigned long pages = 0;
  FILE* statm = fopen("/proc/self/statm", "r");
  if (!statm || fscanf(statm, "%lu", &pages) != 1) exit(2);
  fclose(statm);
  return pages * (size_t)sysconf(_SC_PAGESIZE);
}

/* Grows the stack now: once the cap is set, a stack that grows is refused as any mapping is.
 * (A Windows thread's stack is reserved when the thread starts.) */
static void growStack(void) {
  volatile char pages[128 * 1024];
  for (size_t i = 0; i < sizeof pages; i += 1024) pages[i] = 0;
}

static int text(void(KORVALELIB_CALL* getter)(CountedString*), const char* wanted) {
  CountedString result;
  getter(&result);
  return result.length == strlen(wanted) && memcmp(result.text, wanted, result.length) == 0;
}

/* In the child: one operation under a cap of `margin` bytes beyond what is in use. */
static enum Outcome capped(int operation, size_t margin) {
  CountedString name;
  name.length = (unsigned char)strlen(path);
  memcpy(name.text, path, name.length);
  growStack();
  const size_t cap = addressSpaceInUse() + margin;
  const struct rlimit limit = {cap, cap};
  if (setrlimit(RLIMIT_AS, &limit) != 0) return kWrong;

  int32_t code = -1;
  switch (operation) {
    case 0:
      code = DUDO66413_checkCRC32inFile(&name, NULL);
      break;
    case 1:
      code = DUDO66413_setCRC32inFile(&name, NULL);
      break;
    case 2:
      code = DUDO66413_resetCRC32inFile(&name, NULL);
      break;
  }
  if (DUDO66413_getInfoErrorCode() != code) return kWrong;
  if (code == 0)
    return text(DUDO66413_getInfoCRC32, operation == 2 ? "0x00000000" : crcText) ? kRight : kWrong;
  if (code != 21 || !text(DUDO66413_getInfoErrorString,
                          "ERROE: [21] Could not open file exclusive for ReadWrite."))
    return kWrong;
  /* A set that gives 21 before reading the file leaves the CRC text empty. */
  return text(DUDO66413_getInfoCRC32, "0x00000000") ||
                 (operation == 1 && text(DUDO66413_getInfoCRC32, ""))
             ? kRefused
             : kWrong;
}

int main(void) {
  char folder[] = "/tmp/korvale-cap-XXXXXX";
  if (!mkdtemp(folder)) return 2;
  snprintf(path, sizeof path, "%s/a-data-file-with-a-name-longer-than-a-short-string.xml", folder);

  memset(plain, 0, sizeof plain);
  memcpy(plain, kHead, sizeof kHead - 1);
  for (size_t i = sizeof kHead - 1; i < kSize; ++i)
    plain[i] = i % 64 == 63 ? '\n' : (char)('a' + i % 26);
  memcpy(stamped, plain, kSize);
  snprintf(crcText, sizeof crcText, "0x%08X", (unsigned)jamcrc(plain, kSize));
  memcpy(stamped + (strstr(kHead, "0x") - kHead) + 2, crcText + 2, 8);

  int failures = 0, rightBelowBuffer[3] = {0, 0, 0}, refused[3] = {0, 0, 0};
  for (size_t kib = 0; kib <= kMaxMargin; kib += 8) {
    for (int operation = 0; operation < 3; ++operation) {
      const char* before = operation == 1 ? plain : stamped;
      const char* after = operation == 2 ? plain : stamped;
      writeWhole(before);
      fflush(NULL);
      const pid_t child = fork();
      if (child < 0) return 2;
      if (child == 0) _exit(capped(operation, kib * 1024));
      int status = 0;
      waitpid(child, &status, 0);
      const char* fault = NULL;
      if (!WIFEXITED(status)) {
        fault = "killed by a signal";
      } else if (WEXITSTATUS(status) == kRight) {
        if (!holds(after)) fault = "OK, but the file is not as it should be";
        if (kib * 1024 < kReadBuffer) rightBelowBuffer[operation]++;
      } else if (WEXITSTATUS(status) == kRefused) {
        if (!holds(before)) fault = "21, but the file changed";
        refused[operation]++;
      } else {
        fault = "a wrong outcome or record";
      }
      if (fault) {
        printf("FAIL %s with %zu KiB to spare: %s (status %#x)\n", kOperations[operation], kib,
               fault, status);
        failures++;
      }
    }
  }
  for (int operation = 0; operation < 3; ++operation) {
    printf("%s: right below %d KiB to spare in %d runs, 21 in %d\n", kOperations[operation],
           kReadBuffer / 1024, rightBelowBuffer[operation], refused[operation]);
  }
  for (int operation = 0; operation < 2; ++operation) {
    if (rightBelowBuffer[operation] == 0) {
      printf("FAIL %s: never right without room for the read buffer\n", kOperations[operation]);
      failures++;
    }
  }
  unlink(path);
  rmdir(folder);
  return failures ? 1 : 0;
}
