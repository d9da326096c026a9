/* korvalelib.h: the public interface of Korvalelib, the checksum library.
 *
 * Korvalelib stamps and verifies the CRC-32 that an XML data file carries in a field of its
 * own first 252 bytes: the identifier crc32, then "0x" and eight hexadecimal digits in quotes.
 * The CRC (CRC-32/JAMCRC: the complement of the common CRC-32) covers every byte of the file
 * with the field's eight digits read as '0'. Only those eight bytes are ever written.
 *
 * Plain C; include it from C or C++. On Windows every function uses the stdcall convention
 * and is exported undecorated at a fixed ordinal (korvalelib.def). Natively (Linux) the
 * same functions are exported from libKorvalelib.so with the platform's C convention.
 *
 * One caller at a time: the record of the last operation is process-wide and unguarded.
 */
#ifndef KORVALELIB_H
#define KORVALELIB_H

#include <stdint.h>

#if defined(_WIN32)
#define KORVALELIB_CALL __stdcall
#if defined(KORVALELIB_BUILDING)
#define KORVALELIB_API __declspec(dllexport)
#else
#define KORVALELIB_API __declspec(dllimport)
#endif
#else
#define KORVALELIB_CALL
#define KORVALELIB_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A text crossing the interface: a length byte (0 to 255), then that many 8-bit characters
 * in the system's code page, no terminating zero. Text results are written into a buffer
 * of this type (256 bytes) owned by the caller; only the length byte and the characters are
 * written, the rest of the buffer keeps what it held. A NULL result buffer is not written:
 * the getter then does nothing. A text argument is copied, never written. */
typedef struct CountedString {
  unsigned char length;
  char text[255];
} CountedString;

/* An optional progress indicator for the file operations; pass NULL for none. The library
 * calls it on the caller's thread during the call and keeps no reference afterwards. Every
 * callback receives `context` unchanged as its first argument. A callback written in C++ must
 * not throw: an exception from it ends the operation with code 21. Any of the four callbacks
 * may be NULL: it is skipped, and without getPosition each new position is counted from the
 * last one given to setPosition.
 *
 * Sequence for a file of `size` bytes (check and set; reset never calls the sink):
 *   setMinimum(0), setMaximum(size), setPosition(0),
 *   then per 252-byte block read after the first: setPosition(getPosition() + count),
 *   then setPosition(0).
 * For a file of 2^31 bytes or more, maximum and positions are in units of 2^k bytes, k the
 * smallest shift that brings the size within int32_t; the bar still moves from 0 to its
 * maximum. */
typedef struct ProgressSink {
  void* context;
  void(KORVALELIB_CALL* setMinimum)(void* context, int32_t value);
  void(KORVALELIB_CALL* setMaximum)(void* context, int32_t value);
  int32_t(KORVALELIB_CALL* getPosition)(void* context);
  void(KORVALELIB_CALL* setPosition)(void* context, int32_t value);
} ProgressSink;

/* Error codes of the file operations, as returned and kept in the record. */
enum {
  DUDO66413_OK = 0,
  DUDO66413_CRC_EMPTY = 1,         /* check: the stored value is 0x00000000 */
  DUDO66413_CRC_DIFFERENT = 2,     /* check: the stored value differs */
  DUDO66413_NO_IDENTIFIER = 11,    /* no crc32 identifier in bytes 40..226 */
  DUDO66413_FIELD_UNREADABLE = 12, /* check: identifier without a well-formed field */
  DUDO66413_FIELD_UNWRITABLE = 13, /* set/reset: identifier without a well-formed field */
  DUDO66413_CANNOT_OPEN = 21,      /* the file cannot be opened exclusively for read/write,
                                      or failed to read, write or flush to the disk, or was
                                      changed by a writer ignoring the lock, during the
                                      operation; or memory ran out */
  DUDO66413_TOO_SHORT = 22         /* the file holds fewer than 252 bytes */
};

/* The three file operations. Each replaces the record of the last operation (command
 * text, CRC text, error code) and returns its error code. The file is held open
 * exclusively for the whole call; another opener is refused meanwhile (and vice versa:
 * a file open elsewhere gives 21). On Linux that lock is advisory (flock): a writer that
 * does not lock is not kept out, but a change of the file's size or times during the
 * call gives 21. Set and reset give 0 only once the digits are on stable storage; a flush
 * that fails gives 21 with the field put back as it was.
 *
 * No function of the library throws or aborts on a shortage of memory: without memory for
 * its large read buffer an operation reads a few blocks at a time into the stack, with the
 * same outcome; when even that is impossible it gives 21 with the CRC text "0x00000000".
 *
 * A NULL fileName gives 21 and leaves the record as a file that cannot be opened does: the
 * command words with an empty name, and the CRC text "0x00000000" (empty for set). */
KORVALELIB_API int32_t KORVALELIB_CALL DUDO66413_checkCRC32inFile(const CountedString* fileName,
                                                                  const ProgressSink* sink);
KORVALELIB_API int32_t KORVALELIB_CALL DUDO66413_setCRC32inFile(const CountedString* fileName,
                                                                const ProgressSink* sink);
/* The sink is accepted and never called. */
KORVALELIB_API int32_t KORVALELIB_CALL DUDO66413_resetCRC32inFile(const CountedString* fileName,
                                                                  const ProgressSink* sink);

/* The record of the last operation. Reading changes nothing. The text getters write into
 * `result`, and do nothing when it is NULL. */
KORVALELIB_API int32_t KORVALELIB_CALL DUDO66413_getInfoErrorCode(void);
/* "OK", or an error text beginning "ERROR: [" (code 21: "ERROE: [21] ..."); unknown codes
 * give "ERROR: [99] Unknown". */
KORVALELIB_API void KORVALELIB_CALL DUDO66413_getInfoErrorString(CountedString* result);
/* "0x" and eight uppercase digits; "0x00000000" after a failure; empty after a reset of
 * the record and after a set that gave 21 or 22 before reading the file (it could not be
 * opened, or is too short). */
KORVALELIB_API void KORVALELIB_CALL DUDO66413_getInfoCRC32(CountedString* result);
/* "CHECK ...", "SET ..." or "RESET ..." followed by the last 60 characters of the name:
 * on Windows characters of the system's ANSI code page, on Linux UTF-8 characters (each
 * byte of a malformed sequence counting as one). Without memory to store the name, the
 * command words alone. */
KORVALELIB_API void KORVALELIB_CALL DUDO66413_getInfoCommandFile(CountedString* result);
/* Empties the record: no command, no CRC text, code 0. Done also when the library loads. */
KORVALELIB_API void KORVALELIB_CALL DUDO66413_reset(void);

/* Constant texts, written into `result` (nothing when it is NULL). */
KORVALELIB_API void KORVALELIB_CALL DUDO66413_getInfoHeader(CountedString* result);
KORVALELIB_API void KORVALELIB_CALL DUDO66413_getFailSafeCRC32(CountedString* result);
KORVALELIB_API void KORVALELIB_CALL DUDO66413_getVersion(CountedString* result);
KORVALELIB_API void KORVALELIB_CALL DUDO66413_getFullName(CountedString* result);
KORVALELIB_API void KORVALELIB_CALL DUDO66413_getShortName(CountedString* result);

#ifdef __cplusplus
}
#endif

#endif /* KORVALELIB_H */
