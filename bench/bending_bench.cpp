// Speed of the bending core on fixed generated matrices: minv at 30 traits, one factor's
// score at 30 traits, and the whole 1001-factor search at 5 and 30 traits. Each is run
// in the reference order first and then as the program runs it; the program's entry
// carries the counter "speedup", the reference time over its own.
// Beside the 30-trait search: the floor kernel, the search's multiply-subtract pairs
// done as plain column updates (the 30-trait search carries "per_floor", its time
// over the floor's), and forming the whole 30-trait report ("per_search", its time
// over the search's). The ratios are of processor time, measured in the same run.
#include <benchmark/benchmark.h>

#include <ctime>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "bending/bending.h"
#include "matrix/kernel_copies.h"
#include "matrix/matrix_ops.h"
#include "records/record_writer.h"
#include "reference_bending.h"
#include "reference_matrix.h"
#include "report/report_values.h"
#include "report/report_writer.h"

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

// Seconds per iteration of the program's own entries, by name.
std::map<std::string, double>& own_seconds() {
  static std::map<std::string, double> m;
  return m;
}

// Seconds of processor time this thread has used: the ratios below stay meaningful
// when other processes share the cores.
double thread_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Runs body in the timed loop and returns the processor time per iteration.
template <class Body>
double time_loop(benchmark::State& state, Body body) {
  const double start = thread_seconds();
  for (auto _ : state) body();
  return (thread_seconds() - start) / static_cast<double>(state.iterations());
}

// Runs body in the timed loop; the reference entry records its time per iteration,
// the program's entry reports the ratio.
template <class Body>
void timed(benchmark::State& state, const std::string& pair, bool in_reference_order, Body body) {
  const double per_iteration = time_loop(state, body);
  if (in_reference_order) {
    reference_seconds()[pair] = per_iteration;
  } else {
    own_seconds()[pair] = per_iteration;
    if (auto it = reference_seconds().find(pair); it != reference_seconds().end()) {
      state.counters["speedup"] = it->second / per_iteration;
    }
  }
}

// Multiply-subtract pairs of one scored factor at nt traits: minv (nt^3), the two
// index products (nt^3 and nt^2) and the three quadratic forms (nt^2 + nt each).
constexpr long pairs_per_factor(long nt) { return 2 * nt * nt * nt + nt * nt + 3 * (nt * nt + nt); }

void minv_bench(benchmark::State& state, bool in_reference_order) {
  Lcg rng;
  const TraitMatrix input = covariance(rng, MaxTraits, 1.0);
  TraitMatrix a;
  timed(state, "minv", in_reference_order, [&] {
    a = input;
    if (in_reference_order)
      reference::minv(a, MaxTraits);
    else
      benchmark::DoNotOptimize(minv(a, MaxTraits));
    benchmark::DoNotOptimize(a);
  });
}

void evaluate_bench(benchmark::State& state, bool in_reference_order) {
  auto s = bench_state(MaxTraits);
  timed(state, "evaluate_factor", in_reference_order, [&] {
    bool singular = false;
    const double score =
        in_reference_order ? reference::evaluate_factor(*s, 0.406, singular) : evaluate_factor(*s, 0.406);
    benchmark::DoNotOptimize(score);
  });
}

void search_bench(benchmark::State& state, bool in_reference_order) {
  const int nt = static_cast<int>(state.range(0));
  auto s = bench_state(nt);
  timed(state, "search" + std::to_string(nt), in_reference_order, [&] {
    if (in_reference_order)
      reference::optimize_bending(*s);
    else
      optimize_bending(*s);
    benchmark::DoNotOptimize(s->kbest);
  });
  state.counters["kbest"] = s->kbest;
  if (!in_reference_order && nt == MaxTraits) {
    if (auto it = own_seconds().find("floor"); it != own_seconds().end()) {
      state.counters["per_floor"] = own_seconds()["search30"] / it->second;
    }
  }
}

// The arithmetic floor of the 30-trait search: as many multiply-subtract pairs, each
// product and difference rounded on its own, as updates x(r) := x(r) - F(r, k) p(k) of
// a 30-element column x that stays in registers, the multipliers read from a 30 x 30
// matrix in the first-level cache. Built like the matrix kernels: an AVX2 copy chosen
// once where the processor has it.
VCSHRINK_KERNEL_BODY void floor_body(double* __restrict x, const double* __restrict f, const double* __restrict p,
                                     long updates) {
  double acc[MaxTraits];
  for (int r = 0; r < MaxTraits; ++r) acc[r] = x[r];
  for (long u = 0; u < updates;) {
    for (int k = 0; k < MaxTraits && u < updates; ++k, ++u) {
      const double* const fk = f + k * MaxTraits;
      const double pk = p[k];
      for (int r = 0; r < MaxTraits; ++r) acc[r] = acc[r] - fk[r] * pk;
    }
  }
  for (int r = 0; r < MaxTraits; ++r) x[r] = acc[r];
}

__attribute__((noinline)) void floor_baseline(double* x, const double* f, const double* p, long updates) {
  floor_body(x, f, p, updates);
}
#ifdef VCSHRINK_WIDE_KERNELS
__attribute__((noinline)) VCSHRINK_WIDE void floor_wide(double* x, const double* f, const double* p, long updates) {
  floor_body(x, f, p, updates);
}
#else
constexpr auto floor_wide = floor_baseline;
#endif

void floor_kernel(double* x, const double* f, const double* p, long updates) {
  static const auto kernel = choose_copy(floor_baseline, floor_wide);
  kernel(x, f, p, updates);
}

void BM_search_floor_nt30(benchmark::State& state) {
  Lcg rng;
  TraitMatrix f;
  TraitVector x, p;
  // Small multipliers keep the updated values ordinary numbers throughout.
  for (double& e : f.a) e = 1e-9 * rng.next();
  for (double& e : p.v) e = rng.next();
  for (double& e : x.v) e = rng.next();
  const long updates = GridSize * pairs_per_factor(MaxTraits) / MaxTraits;
  own_seconds()["floor"] = time_loop(state, [&] {
    floor_kernel(x.v.data(), f.a.data(), p.v.data(), updates);
    benchmark::DoNotOptimize(x);
  });
  state.counters["pairs"] = static_cast<double>(updates * MaxTraits);
}

// The whole report of a 30-trait optimized run, formed in one reserved buffer.
void BM_write_report_nt30(benchmark::State& state) {
  auto s = bench_state(MaxTraits);
  optimize_bending(*s);
  s->title = "Thirty traits";
  s->wchoice = 2;
  prepare_report(*s);
  std::string report;
  report.reserve(std::size_t{1} << 16);
  const double per_iteration = time_loop(state, [&] {
    report.clear();
    StringSink sink(report, "\r\n");
    RecordWriter writer(sink);
    write_report(*s, writer);
    benchmark::DoNotOptimize(report.data());
  });
  state.counters["bytes"] = static_cast<double>(report.size());
  if (auto it = own_seconds().find("search30"); it != own_seconds().end()) {
    state.counters["per_search"] = per_iteration / it->second;
  }
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
BENCHMARK(BM_search_floor_nt30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_optimize_bending_reference)->Arg(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_optimize_bending)->Arg(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_write_report_nt30)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vcshrink

BENCHMARK_MAIN();
