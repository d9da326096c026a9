// The host's string stack and user variables: bounded copies in and out of host memory.
#include "host_stack.h"

namespace korvale::pelwick {
namespace {

constexpr int kVariableCount = 25;

std::size_t lengthOf(const pelwick_char* text) {
  std::size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

// Copies at most capacity - 1 characters and a NUL; with no capacity it writes nothing.
void copyBounded(pelwick_char* to, const pelwick_char* from, std::size_t capacity) {
  if (capacity == 0) return;
  std::size_t i = 0;
  for (; i + 1 < capacity && from[i] != 0; ++i) to[i] = from[i];
  to[i] = 0;
}

// The digit's value in the radix, or -1 when the character is not such a digit.
int digitValue(pelwick_char c, unsigned radix) {
  int value = -1;
  if (c >= '0' && c <= '9') value = c - '0';
  if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
  if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
  return value >= 0 && static_cast<unsigned>(value) < radix ? value : -1;
}

}  // namespace

void HostStack::takeOver(int string_size, pelwick_char* variables,
                         pelwick_stack_t** stacktop) noexcept {
  g_stringsize = string_size;
  g_variables = variables;
  g_stacktop = stacktop;
}

std::size_t HostStack::capacity() const noexcept {
  return g_stringsize > 0 ? static_cast<std::size_t>(g_stringsize) : 0;
}

int HostStack::popstring(pelwick_char* str) noexcept {
  pelwick_stack_t* top = g_stacktop ? *g_stacktop : nullptr;
  if (!top) return 1;
  copyBounded(str, top->text, capacity());
  *g_stacktop = top->next;
  heap_.globalFree(top);
  return 0;
}

void HostStack::dropTop() noexcept {
  pelwick_stack_t* top = g_stacktop ? *g_stacktop : nullptr;
  if (!top) return;
  *g_stacktop = top->next;
  heap_.globalFree(top);
}

void HostStack::pushstring(const pelwick_char* str) noexcept {
  if (!g_stacktop) return;
  auto* entry = static_cast<pelwick_stack_t*>(
      heap_.globalAlloc(sizeof(pelwick_stack_t) + capacity() * sizeof(pelwick_char)));
  if (!entry) return;
  copyBounded(entry->text, str, capacity());
  entry->next = *g_stacktop;
  *g_stacktop = entry;
}

void HostStack::pushdword(int value) noexcept { pushstring(decimal(value).text); }

void HostStack::clear_stack() noexcept {
  while (g_stacktop && *g_stacktop) dropTop();
}

pelwick_char* HostStack::getuservariable(int index) noexcept {
  if (!g_variables || index < 0 || index >= kVariableCount) return nullptr;
  return g_variables + static_cast<std::size_t>(index) * capacity();
}

void HostStack::setuservariable(int index, const pelwick_char* value) noexcept {
  pelwick_char* variable = getuservariable(index);
  if (value && variable) copyBounded(variable, value, capacity());
}

pelwick_char* HostStack::STRDUP(const pelwick_char* text) noexcept {
  const std::size_t size = lengthOf(text) + 1;
  auto* copy = static_cast<pelwick_char*>(heap_.globalAlloc(size * sizeof(pelwick_char)));
  if (copy) copyBounded(copy, text, size);
  return copy;
}

const pelwick_char* ns_strstr(const pelwick_char* text, const pelwick_char* pattern) noexcept {
  const std::size_t textLength = lengthOf(text);
  const std::size_t patternLength = lengthOf(pattern);
  if (patternLength > textLength) return nullptr;
  for (std::size_t at = 0; at + patternLength <= textLength; ++at) {
    std::size_t i = 0;
    while (i < patternLength && text[at + i] == pattern[i]) ++i;
    if (i == patternLength) return text + at;
  }
  return nullptr;
}

int ns_atoi(const pelwick_char* text) noexcept {
  unsigned radix = 10;
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    radix = 16;
    text += 2;
  } else if (text[0] == '0' && digitValue(text[1], 8) >= 0) {
    radix = 8;
  }
  // Unsigned, so that a number too long for an int wraps instead of overflowing.
  unsigned value = 0;
  for (int digit; (digit = digitValue(*text, radix)) >= 0; ++text) {
    value = value * radix + static_cast<unsigned>(digit);
  }
  return static_cast<int>(value);
}

DecimalText decimal(long long value) noexcept {
  char digits[sizeof(DecimalText::text)];
  std::size_t count = 0;
  // Counted in unsigned, so that the most negative value has a magnitude too.
  unsigned long long magnitude = value < 0 ? 0ull - static_cast<unsigned long long>(value)
                                           : static_cast<unsigned long long>(value);
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  DecimalText result{};
  std::size_t at = 0;
  if (value < 0) result.text[at++] = '-';
  while (count > 0) result.text[at++] = digits[--count];
  return result;
}

}  // namespace korvale::pelwick
