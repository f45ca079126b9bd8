// ReadLn throughput over loopback against a plain recv + memchr reader of
// the same stream, and the cost of one long line arriving in small pieces.

#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "net/tcp_client.h"
#include "support/loopback.h"
#include "support/memory_transport.h"

namespace {

using namespace quorvex;
using quorvex::test::AcceptWithin;
using quorvex::test::LocalPort;
using quorvex::test::LoopbackSocket;

constexpr int kLineLength = 80;  // bytes, CR LF included

std::string MakeBlock() {
  std::string block;
  for (int i = 0; block.size() < (1 << 20); ++i) {
    std::string line = "250-line " + std::to_string(i) + " ";
    line.resize(kLineLength - 2, 'x');
    block += line + "\r\n";
  }
  return block;
}

// A loopback connection whose far end sends 80-byte lines without pause
// until the reading end goes away.
class TLineStream {
 public:
  TLineStream() : _listener(LoopbackSocket()) {}
  ~TLineStream() { Stop(); }

  // Accepts the reading end's connection and starts writing to it.
  void Start() {
    _peer = AcceptWithin(_listener.get());
    _writer = std::thread([this] {
      const std::string block = MakeBlock();
      while (!_stop.load()) {
        size_t done = 0;
        while (done < block.size() && !_stop.load()) {
          const ssize_t n =
              ::send(_peer.get(), block.data() + done, block.size() - done, MSG_NOSIGNAL);
          if (n <= 0) return;
          done += n;
        }
      }
    });
  }
  void Stop() {
    _stop = true;
    if (_peer.get() >= 0) ::shutdown(_peer.get(), SHUT_RDWR);
    if (_writer.joinable()) _writer.join();
  }
  std::uint16_t Port() const { return LocalPort(_listener.get()); }

 private:
  TUniqueFd _listener;
  TUniqueFd _peer;
  std::thread _writer;
  std::atomic<bool> _stop{false};
};

void BM_ReadLn(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  TLineStream stream;
  TQxTCPClientCustom client;
  client.Connect(u"127.0.0.1", stream.Port());
  stream.Start();
  TQxIOHandler& io = *client.IOHandler();
  size_t characters = 0;
  for (auto _ : state) {
    for (int i = 0; i < lines; ++i) {
      std::u16string line = io.ReadLn();
      characters += line.size();
      benchmark::DoNotOptimize(line.data());
    }
  }
  benchmark::DoNotOptimize(characters);
  client.Disconnect(false);
  stream.Stop();
  state.SetBytesProcessed(state.iterations() * lines * kLineLength);
  state.SetComplexityN(lines);
}

// The baseline: recv into a 32 KiB array, memchr for each LF, and each line
// (without CR LF) widened into a std::u16string as ReadLn returns it.
void BM_RecvMemchr(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  TLineStream stream;
  TUniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(stream.Port());
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    state.SkipWithError("connect failed");
    return;
  }
  stream.Start();
  std::string pending;
  std::unique_ptr<char[]> chunk(new char[32768]);
  size_t characters = 0;
  for (auto _ : state) {
    int done = 0;
    while (done < lines) {
      // Lines still waiting in the pending bytes come first.
      size_t start = 0;
      while (done < lines) {
        const void* lf = std::memchr(pending.data() + start, '\n', pending.size() - start);
        if (!lf) break;
        size_t end = static_cast<const char*>(lf) - pending.data();
        const size_t stop = (end > start && pending[end - 1] == '\r') ? end - 1 : end;
        std::u16string line(pending.begin() + start, pending.begin() + stop);
        characters += line.size();
        benchmark::DoNotOptimize(line.data());
        start = end + 1;
        ++done;
      }
      pending.erase(0, start);
      if (done == lines) break;
      pollfd pfd{fd.get(), POLLIN, 0};
      ::poll(&pfd, 1, -1);
      const ssize_t n = ::recv(fd.get(), chunk.get(), 32768, 0);
      if (n <= 0) {
        state.SkipWithError("stream ended");
        return;
      }
      pending.append(chunk.get(), n);
    }
  }
  benchmark::DoNotOptimize(characters);
  fd.reset();
  stream.Stop();
  state.SetBytesProcessed(state.iterations() * lines * kLineLength);
  state.SetComplexityN(lines);
}

// One line of N bytes arriving 64 bytes at a time: linear when the search
// never rescans what it has seen.
void BM_ReadLnLongLineInSmallPieces(benchmark::State& state) {
  const int length = static_cast<int>(state.range(0));
  const std::string input = std::string(length, 'a') + "\n";
  for (auto _ : state) {
    quorvex::test::TMemoryScript script(input, 64, true);
    quorvex::test::TMemoryHandler handler(script);
    handler.SetMaxLineLength(length);
    benchmark::DoNotOptimize(handler.ReadLn());
  }
  state.SetBytesProcessed(state.iterations() * (length + 1));
  state.SetComplexityN(length);
}

}  // namespace

BENCHMARK(BM_ReadLn)->RangeMultiplier(4)->Range(1 << 10, 1 << 16)->Complexity(benchmark::oN);
BENCHMARK(BM_RecvMemchr)->RangeMultiplier(4)->Range(1 << 10, 1 << 16)->Complexity(benchmark::oN);
BENCHMARK(BM_ReadLnLongLineInSmallPieces)
    ->RangeMultiplier(4)
    ->Range(1 << 10, 1 << 18)
    ->Complexity(benchmark::oN);

BENCHMARK_MAIN();
