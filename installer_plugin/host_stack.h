// The host's string stack and user variables as an export sees them during one call: the
// host's arguments taken over, and the operations on the stack, the variables and host text.
// Internal to the plug-in.
#pragma once

#include <cstddef>

#include "pelwick.h"
#include "platform.h"

namespace korvale::pelwick {

class HostStack {
 public:
  explicit constexpr HostStack(HostHeap& heap) : heap_(heap) {}

  // The host's arguments to the current export call; valid for that call only.
  int g_stringsize = 0;
  pelwick_stack_t** g_stacktop = nullptr;  // null: there is no stack
  pelwick_char* g_variables = nullptr;

  void takeOver(int string_size, pelwick_char* variables, pelwick_stack_t** stacktop) noexcept;

  // Characters one entry's text or one variable holds, NUL included.
  std::size_t capacity() const noexcept;

  // Moves the top entry's text into `str`, which holds capacity() characters; a text that
  // does not fit is cut. 0 on success; 1, touching nothing, when there is no entry.
  int popstring(pelwick_char* str) noexcept;
  // Pops the top entry and frees it unread, if there is one.
  void dropTop() noexcept;
  // Puts a copy of the text on top, cut to capacity() - 1 characters. Does nothing when there
  // is no stack or the heap refuses the entry.
  void pushstring(const pelwick_char* str) noexcept;
  void pushdword(int value) noexcept;
  void clear_stack() noexcept;

  // Variable `index` (0 to 24), or null for any other index.
  pelwick_char* getuservariable(int index) noexcept;
  // Copies the text, cut to capacity() - 1 characters, into variable `index`; does nothing for
  // a null text or an index outside 0 to 24.
  void setuservariable(int index, const pelwick_char* value) noexcept;

  // A copy of the text in a new block of the host's heap, or null when the heap refuses it.
  pelwick_char* STRDUP(const pelwick_char* text) noexcept;

 private:
  HostHeap& heap_;
};

// The first place in `text` where `pattern` occurs, or null; an empty pattern gives `text`.
const pelwick_char* ns_strstr(const pelwick_char* text, const pelwick_char* pattern) noexcept;

// An unsigned number: "0x" or "0X" and hexadecimal digits, else "0" and octal digits, else
// decimal digits; reading stops at the first character that does not fit.
int ns_atoi(const pelwick_char* text) noexcept;

// The value as decimal text, with a sign only when it is negative.
struct DecimalText {
  pelwick_char text[24];
};
DecimalText decimal(long long value) noexcept;

}  // namespace korvale::pelwick
