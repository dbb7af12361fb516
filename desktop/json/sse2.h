#pragma once
// SSE2 where the build may use it: every x86-64 build, and 32-bit ones made for it
// (the others take the plain loops). KN_SSE2 says which.
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define KN_SSE2 1
#else
#define KN_SSE2 0
#endif
