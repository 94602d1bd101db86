#pragma once

// The window's account-list refill on the throwaway domain controller grown
// to several sizes, beside the server's own bulk answer over LDAP.

namespace benchmark {
class State;
}

namespace orvane::bench::refill {

// Whether the test server is there; otherwise the benchmark says why and is skipped.
bool serverHere(benchmark::State& state);

// Registers a refill and an LDAP benchmark for each size of
// ORVANE_BENCH_SIZES (default "1000 3000 10000"), smallest first.
void registerBenchmarks();
// Closes the window the refills share; before the application ends.
void finish();
void printSummary();

} // namespace orvane::bench::refill
