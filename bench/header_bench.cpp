// Header generation and folding must grow linearly with the size of a value:
// doubling the recipients or the subject about doubles the time.
#include <benchmark/benchmark.h>

#include "mail/header_list.h"
#include "mail/message.h"
#include "platform/text.h"

namespace quorvex {
namespace {

class TBenchClock final : public TClock {
 public:
  TDateTime Now() const override { return EncodeDateTime(2011, 3, 5, 14, 7, 9); }
  std::optional<int> LocalZoneOffset() const override { return 60; }
};
const TBenchClock kClock;

std::u16string addressListText(int64_t count) {
  std::u16string text;
  for (int64_t i = 0; i < count; ++i) {
    if (i > 0) text += u", ";
    text += i % 3 == 0 ? u"\"Ops, Desk " + u16(std::to_string(i)) + u"\" <ops" +
                             u16(std::to_string(i)) + u"@example.org>"
                       : u"user" + u16(std::to_string(i)) + u"@example.org";
  }
  return text;
}

// Plain words with an accented one now and then, about `size` characters.
std::u16string longSubject(int64_t size) {
  std::u16string text;
  for (int64_t i = 0; static_cast<int64_t>(text.size()) < size; ++i)
    text += i % 10 == 0 ? u"Pr\u00FCfung " : u"server ";
  return text;
}

void configure(TQxMessage& message) {
  message.SetClock(kClock);
  message.OnInitializeISO = [](char16_t&, std::u16string& charset) { charset = u"UTF-8"; };
  message.From().SetAddress(u"ops@example.org");
}

void BM_GenerateHeader_Recipients(benchmark::State& state) {
  TQxMessage message;
  configure(message);
  message.Recipients().SetEMailAddresses(addressListText(state.range(0)));
  for (auto _ : state) {
    message.GenerateHeader();
    benchmark::DoNotOptimize(message.LastGeneratedHeaders().Count());
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_GenerateHeader_Recipients)
    ->RangeMultiplier(2)
    ->Range(1250, 20000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_SplitAddressList(benchmark::State& state) {
  const std::u16string text = addressListText(state.range(0));
  TQxEMailAddressList list;
  for (auto _ : state) {
    list.SetEMailAddresses(text);
    benchmark::DoNotOptimize(list.Count());
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SplitAddressList)
    ->RangeMultiplier(2)
    ->Range(1250, 20000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_GenerateHeader_Subject(benchmark::State& state) {
  TQxMessage message;
  configure(message);
  message.Recipients().SetEMailAddresses(u"a@example.org");
  message.SetSubject(longSubject(state.range(0)));
  for (auto _ : state) {
    message.GenerateHeader();
    benchmark::DoNotOptimize(message.LastGeneratedHeaders().Count());
  }
  state.SetComplexityN(state.range(0));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_GenerateHeader_Subject)
    ->RangeMultiplier(2)
    ->Range(128 << 10, 4 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_FoldHeaderLine(benchmark::State& state) {
  const std::u16string line = u"Subject: " + longSubject(state.range(0));
  TQxHeaderList list;
  for (auto _ : state) benchmark::DoNotOptimize(list.FoldHeaderLine(line).size());
  state.SetComplexityN(state.range(0));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FoldHeaderLine)
    ->RangeMultiplier(2)
    ->Range(128 << 10, 1 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace
}  // namespace quorvex

BENCHMARK_MAIN();
