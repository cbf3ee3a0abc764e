// The grid search and the definiteness checks allocate nothing: every operator new of
// this test program is counted, and the count must not move across them at 30 traits.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "bending/bending.h"
#include "bending/definiteness.h"
#include "bending_fixture.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace vcshrink {
namespace {

TEST(OptimizeBending, AllocatesNothing) {
  auto s = std::make_unique<RunState>();
  s->proc = 1;
  s->nt = MaxTraits;
  s->cr = 1.0;
  for (int j = 1; j <= MaxTraits; ++j)
    for (int i = 1; i <= MaxTraits; ++i) {
      const double off = 0.3 / (1 + (i > j ? i - j : j - i));
      s->G(i, j) = i == j ? 2.0 : off;
      s->R(i, j) = i == j ? 5.0 : 0.5 * off;
      s->PRIOR(i, j) = i == j ? 0.3 : 0.2;
    }
  for (int i = 1; i <= MaxTraits; ++i) s->W(i) = 1.0;

  NoWarnings warnings;
  const long before = allocations.load();
  check_residual_definiteness(*s, warnings);
  prepare_covariances(*s);
  optimize_bending(*s);
  check_bent_definiteness(*s, warnings);
  EXPECT_EQ(allocations.load(), before);
  EXPECT_TRUE(s->gadj_positive_definite);
  EXPECT_GE(s->kbest, 0);
  EXPECT_LE(s->kbest, 1000);

  // The counter does see allocations.
  auto probe = std::make_unique<int>(1);
  EXPECT_GT(allocations.load(), before);
}

}  // namespace
}  // namespace vcshrink
