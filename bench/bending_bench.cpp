// Speed of the bending core on fixed generated matrices: minv at 30 traits, one factor's
// score at 30 traits, and the whole 1001-factor search at 5 and 30 traits. Each is run
// in the reference order first and then as the program runs it; the program's entry
// carries the counter "speedup", the reference time over its own.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "bending/bending.h"
#include "matrix/matrix_ops.h"
#include "reference_bending.h"
#include "reference_matrix.h"

namespace vcshrink {
namespace {

// Deterministic uniform values in [-1, 1).
class Lcg {
 public:
  double next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state_ >> 11) * 0x1p-52 - 1.0;
  }

 private:
  std::uint64_t state_ = 12345;
};

// A symmetric positive definite matrix X X' + d I of order n.
TraitMatrix covariance(Lcg& rng, int n, double d) {
  TraitMatrix x, m;
  for (double& e : x.a) e = rng.next();
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) {
      double s = 0.0;
      for (int k = 1; k <= n; ++k) s += x(i, k) * x(j, k);
      m(i, j) = s + (i == j ? d : 0.0);
    }
  return m;
}

// A prepared optimized-procedure state of nt traits.
std::unique_ptr<RunState> bench_state(int nt) {
  Lcg rng;
  auto s = std::make_unique<RunState>();
  s->proc = 1;
  s->nt = nt;
  s->cr = 4.0;
  s->G = covariance(rng, nt, 0.5);
  s->R = covariance(rng, nt, 2.0);
  for (int j = 1; j <= nt; ++j)
    for (int i = 1; i <= nt; ++i) s->PRIOR(i, j) = i == j ? 0.3 : 0.2;
  for (int i = 1; i <= nt; ++i) s->W(i) = 1.0 + 0.1 * i;
  prepare_covariances(*s);
  build_prior_covariance(*s);
  return s;
}

// Reference seconds per iteration, by benchmark pair.
std::map<std::string, double>& reference_seconds() {
  static std::map<std::string, double> m;
  return m;
}

// Runs body in the timed loop; the reference entry records its time per iteration,
// the program's entry reports the ratio.
template <class Body>
void timed(benchmark::State& state, const std::string& pair, bool reference, Body body) {
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) body();
  const double per_iteration =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
      static_cast<double>(state.iterations());
  if (reference) {
    reference_seconds()[pair] = per_iteration;
  } else if (auto it = reference_seconds().find(pair); it != reference_seconds().end()) {
    state.counters["speedup"] = it->second / per_iteration;
  }
}

void minv_bench(benchmark::State& state, bool reference) {
  Lcg rng;
  const TraitMatrix input = covariance(rng, MaxTraits, 1.0);
  TraitMatrix a;
  timed(state, "minv", reference, [&] {
    a = input;
    if (reference)
      reference::minv(a, MaxTraits);
    else
      benchmark::DoNotOptimize(minv(a, MaxTraits));
    benchmark::DoNotOptimize(a);
  });
}

void evaluate_bench(benchmark::State& state, bool reference) {
  auto s = bench_state(MaxTraits);
  timed(state, "evaluate_factor", reference, [&] {
    bool singular = false;
    const double score = reference ? reference::evaluate_factor(*s, 0.406, singular) : evaluate_factor(*s, 0.406);
    benchmark::DoNotOptimize(score);
  });
}

void search_bench(benchmark::State& state, bool reference) {
  const int nt = static_cast<int>(state.range(0));
  auto s = bench_state(nt);
  timed(state, "search" + std::to_string(nt), reference, [&] {
    if (reference)
      reference::optimize_bending(*s);
    else
      optimize_bending(*s);
    benchmark::DoNotOptimize(s->kbest);
  });
  state.counters["kbest"] = s->kbest;
}

void BM_minv_n30_reference(benchmark::State& state) { minv_bench(state, true); }
void BM_minv_n30(benchmark::State& state) { minv_bench(state, false); }
void BM_evaluate_factor_nt30_reference(benchmark::State& state) { evaluate_bench(state, true); }
void BM_evaluate_factor_nt30(benchmark::State& state) { evaluate_bench(state, false); }
void BM_optimize_bending_reference(benchmark::State& state) { search_bench(state, true); }
void BM_optimize_bending(benchmark::State& state) { search_bench(state, false); }

BENCHMARK(BM_minv_n30_reference);
BENCHMARK(BM_minv_n30);
BENCHMARK(BM_evaluate_factor_nt30_reference);
BENCHMARK(BM_evaluate_factor_nt30);
BENCHMARK(BM_optimize_bending_reference)->Arg(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_optimize_bending)->Arg(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_optimize_bending_reference)->Arg(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_optimize_bending)->Arg(30)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vcshrink

BENCHMARK_MAIN();
