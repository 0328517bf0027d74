// The benchmark sections of kx_gateway_bench, run in this order by main.
#ifndef KX_BENCH_SECTIONS_H
#define KX_BENCH_SECTIONS_H

#include "bench/bench_util.h"

namespace kxbench {

void BenchChunkConversion(Report& report);      // data callback vs the best own interleave; page faults
void BenchReadChunkThroughMex(Report& report);  // read_chunk vs memcpy
void BenchSustainedRate(Report& report);        // whole path vs the fastest headset
void BenchBufferMemory(Report& report);         // full buffer vs its raw bytes; growth of a long stream
void BenchChunkHandOff(Report& report);         // buffer push + drain vs a bare hand-off
void BenchSimulatedSignal(Report& report);      // the simulator's EEG signal vs the fastest headset

}  // namespace kxbench

#endif  // KX_BENCH_SECTIONS_H
