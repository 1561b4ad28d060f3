// The feeder's own work per delivery cycle: whole runs of main over scripted
// host services that answer at once and a platform that discards the console.
// Prints the time per cycle and the heap allocations made per cycle.
//
//   feed_bench [files per run] [runs]

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>
#include <string>

#include "feed/feeder.h"
#include "feed/scripted_host.h"
#include "runtime/process/platform.h"
#include "runtime/process/start.h"

namespace {

std::uint64_t allocations = 0;

struct RunEnded {
  int status;
};

class NullPlatform final : public quorvane::ProcessPlatform {
 public:
  quorvane::WriteResult write_stdout(std::string_view bytes) override {
    written += bytes.size();
    return quorvane::WriteResult::kOk;
  }
  void write_stderr(std::string_view /*bytes*/) override {}
  void flush_streams() override {}
  [[noreturn]] void exit_process(int status) override { throw RunEnded{status}; }
  void enable_float_traps() override {}
  bool read_command_line_and_environment() override { return true; }

  std::uint64_t written = 0;
};

}  // namespace

// Counts every allocation of the program; the bench reads the count around
// the timed runs.
void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t /*size*/) noexcept { std::free(p); }

int main(int argc, char** argv) {
  const long files = argc > 1 ? std::atol(argv[1]) : 1000;
  const long runs = argc > 2 ? std::atol(argv[2]) : 100;
  if (files < 1 || runs < 1) {
    std::fprintf(stderr, "usage: feed_bench [files per run] [runs]\n");
    return 2;
  }

  quorvane::ScriptedHost host;
  host.keep_journal(false);
  for (long i = 0; i < files; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "LR%04ld.B_G", i % 10000);
    host.add_entry(name);
  }
  quorvane::FixedClock clock;
  clock.add_date(2012, 4, 18);
  clock.add_time(10, 3, 7);
  NullPlatform platform;
  static quorvane::Feeder feeder(host, clock);

  const std::uint64_t allocations_before = allocations;
  const std::clock_t cpu_start = std::clock();
  const auto start = std::chrono::steady_clock::now();
  for (long run = 0; run < runs; ++run) {
    quorvane::reset_runtime();
    quorvane::set_platform(&platform);
    host.rewind();
    try {
      feeder.main();
    } catch (const RunEnded& ended) {
      if (ended.status != 0) {
        std::fprintf(stderr, "run ended with status %d\n", ended.status);
        return 1;
      }
    }
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const std::clock_t cpu_used = std::clock() - cpu_start;
  const std::uint64_t allocated = allocations - allocations_before;
  quorvane::set_platform(nullptr);

  const double cycles = static_cast<double>(files) * static_cast<double>(runs);
  const double ns =
      static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count());
  const double cpu_ns = static_cast<double>(cpu_used) * 1e9 / CLOCKS_PER_SEC;
  std::printf(
      "%ld runs of %ld files: %.0f ns per delivery cycle (%.0f ns of processor time), "
      "%.3f heap allocations per cycle (%llu in all), %.0f console bytes per cycle\n",
      runs, files, ns / cycles, cpu_ns / cycles, static_cast<double>(allocated) / cycles,
      static_cast<unsigned long long>(allocated), static_cast<double>(platform.written) / cycles);
  return 0;
}
