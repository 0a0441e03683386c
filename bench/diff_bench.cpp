// Encoder and decoder throughput on 8 MiB of synthetic data with scattered
// edits, in memory, so that only the coding itself is measured.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "patch/DiffDecoder.h"
#include "patch/DiffEncoder.h"

namespace {

struct Pair {
  std::string oldData, newData, diff;
};

void Fill(slv2::TMemoryStream& stream, const std::string& data) {
  stream.SetSize(0);
  stream.WriteBuffer(data.data(), int32_t(data.size()));
  stream.SetPosition(0);
}

std::string Encode(const std::string& oldData, const std::string& newData) {
  slv2::TMemoryStream o, n, d;
  Fill(o, oldData);
  Fill(n, newData);
  slv2::CreateDiffStream(o, n, d);
  return d.ToString();
}

const Pair& Data() {
  static const Pair pair = [] {
    Pair p;
    std::mt19937 random(1);
    p.oldData.resize(8 << 20);
    // Text-like bytes: a small alphabet with repeats, as in program files.
    for (char& c : p.oldData)
      c = "etaoin shrdlu\n{}();"[random() % 19];
    p.newData = p.oldData;
    for (int i = 0; i < 2000; ++i) {
      size_t at = random() % (p.newData.size() - 64);
      switch (i % 3) {
        case 0:
          p.newData.insert(at, "inserted(text);");
          break;
        case 1:
          p.newData.erase(at, 1 + random() % 40);
          break;
        default:
          p.newData[at] = 'X';
      }
    }
    p.diff = Encode(p.oldData, p.newData);
    return p;
  }();
  return pair;
}

void BM_Encode(benchmark::State& state) {
  const Pair& p = Data();
  for (auto _ : state)
    benchmark::DoNotOptimize(Encode(p.oldData, p.newData));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(p.newData.size()));
}
BENCHMARK(BM_Encode)->Unit(benchmark::kMillisecond);

void BM_Decode(benchmark::State& state) {
  const Pair& p = Data();
  slv2::TMemoryStream d, o, t;
  for (auto _ : state) {
    Fill(d, p.diff);
    Fill(o, p.oldData);
    t.SetSize(0);
    slv2::ApplyDiffStream(d, o, t);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(p.newData.size()));
}
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond);

}  // namespace
