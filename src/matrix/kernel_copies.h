// The numerical kernels' two copies - one for any processor and, on x86-64, one built
// for AVX2, chosen once from the processor's features - and the vector types they are
// written with. Neither copy contracts a product and a sum into one rounding.
#pragma once

#include <version>  // the C library's own macros (__GLIBC__) come with the C++ library's

// VCSHRINK_WIDE marks the AVX2 copy of a kernel; it exists where VCSHRINK_WIDE_KERNELS
// is defined. Defining VCSHRINK_BASELINE_KERNELS builds the baseline copies alone (to
// check that they give the same bits on an AVX2 machine).
#if defined(__x86_64__) && defined(__GLIBC__) && !defined(VCSHRINK_BASELINE_KERNELS)
#define VCSHRINK_WIDE_KERNELS 1
#define VCSHRINK_WIDE __attribute__((target("avx2")))
#endif

// A kernel's body, inlined into each of its copies.
#define VCSHRINK_KERNEL_BODY inline __attribute__((always_inline))

namespace vcshrink {

// True when the AVX2 copies can run here, as the C library found the processor at
// start-up (no instruction is executed to ask again).
bool wide_kernels_usable();

// V adjacent doubles as one value of the compiler's vector extension, to be loaded and
// stored with memcpy (any alignment will do); mask has all bits set in a chosen lane.
// V = 1 is a plain double.
template <int V>
struct Lanes {
  typedef double type __attribute__((vector_size(sizeof(double) * V)));
  typedef long long mask __attribute__((vector_size(sizeof(long long) * V)));
};
template <>
struct Lanes<1> {
  using type = double;
};

// Which of a kernel's two copies to run: the AVX2 one where it is built and usable.
template <typename Fn>
Fn choose_copy(Fn baseline, [[maybe_unused]] Fn wide) {
#ifdef VCSHRINK_WIDE_KERNELS
  if (wide_kernels_usable()) return wide;
#endif
  return baseline;
}

}  // namespace vcshrink
