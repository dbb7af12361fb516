// Inivault's cipher against OpenSSL's Blowfish. Both are 16-round Feistel ciphers on
// 64-bit big-endian blocks with four 256-word S-boxes and an 18-word P-array, chained
// from a zero start value, so per block they do the same work: scrambling is compared
// with BF_cbc_encrypt, unscrambling with its decrypt direction, the key schedule with
// BF_set_key, all with the settings-file key and in place.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "cipher.h"
#include "inputs.h"

#ifdef KN_BENCH_OPENSSL
#include <openssl/blowfish.h>
#endif

namespace {

constexpr std::size_t kSize = 1 << 20;

const std::string& data() {
  static const std::string d = kn::bench::random_bytes(kSize);
  return d;
}

void key_schedule_ours(benchmark::State& state) {
  for (auto _ : state) {
    inivault::Cipher cipher(inivault::kFileKey);
    benchmark::DoNotOptimize(&cipher);
    benchmark::ClobberMemory();
  }
}

void scramble_ours(benchmark::State& state) {
  const inivault::Cipher cipher(inivault::kFileKey);
  std::string buf = data();
  for (auto _ : state) {
    cipher.scramble(buf);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

void unscramble_ours(benchmark::State& state) {
  const inivault::Cipher cipher(inivault::kFileKey);
  std::string buf = data();
  for (auto _ : state) {
    cipher.unscramble(buf);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

#ifdef KN_BENCH_OPENSSL
const unsigned char* key_bytes() { return reinterpret_cast<const unsigned char*>(inivault::kFileKey.data()); }
const int kKeyLength = static_cast<int>(inivault::kFileKey.size());

void key_schedule_openssl(benchmark::State& state) {
  for (auto _ : state) {
    BF_KEY key;
    BF_set_key(&key, kKeyLength, key_bytes());
    benchmark::DoNotOptimize(&key);
    benchmark::ClobberMemory();
  }
}

void cbc_openssl(benchmark::State& state, int direction) {
  BF_KEY key;
  BF_set_key(&key, kKeyLength, key_bytes());
  std::string buf = data();
  auto* bytes = reinterpret_cast<unsigned char*>(buf.data());
  for (auto _ : state) {
    unsigned char iv[8] = {};
    BF_cbc_encrypt(bytes, bytes, static_cast<long>(buf.size()), &key, iv, direction);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

void scramble_openssl(benchmark::State& state) { cbc_openssl(state, BF_ENCRYPT); }
void unscramble_openssl(benchmark::State& state) { cbc_openssl(state, BF_DECRYPT); }
#endif

}  // namespace

BENCHMARK(key_schedule_ours)->Name("cipher_key_schedule/ours");
BENCHMARK(scramble_ours)->Name("cipher_scramble/1MiB/ours");
BENCHMARK(unscramble_ours)->Name("cipher_unscramble/1MiB/ours");
#ifdef KN_BENCH_OPENSSL
BENCHMARK(key_schedule_openssl)->Name("cipher_key_schedule/openssl");
BENCHMARK(scramble_openssl)->Name("cipher_scramble/1MiB/openssl");
BENCHMARK(unscramble_openssl)->Name("cipher_unscramble/1MiB/openssl");
#endif

BENCHMARK_MAIN();
