/* stack_alignment_probe.c: a DLL function that keeps SSE values in a stack array and adds one
 * of them straight from memory, which needs the array 16-byte aligned. Built the way GCC builds
 * by default, trusting the caller to have aligned the stack, it must fail the check of the
 * stack alignment: the check is shown to catch the fault it is there for. */
#include <emmintrin.h>
__attribute__((noipa)) void keep(__m128i* p) { __asm__ volatile("" ::"r"(p)); }
__attribute__((target("sse2"))) __declspec(dllexport) int probe(const int* p) {
  __m128i pair[2];
  pair[0] = _mm_loadu_si128((const __m128i*)p);
  pair[1] = _mm_add_epi32(pair[0], pair[0]);
  keep(pair);
  return _mm_cvtsi128_si32(_mm_add_epi32(pair[0], pair[1]));
}
