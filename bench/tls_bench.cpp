// Lines over a TLS session against the same lines over the plain socket, on
// loopback with 80-byte lines, and the time one handshake takes.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "net/ssl_openssl.h"
#include "support/tls_server.h"

namespace {

using namespace quorvex;
using quorvex::test::TTlsServer;
using quorvex::test::TTlsServerOptions;

// 78 bytes of text; WriteLn adds CR LF.
const std::u16string kLine = u"250-" + std::u16string(74, u'x');

std::unique_ptr<TQxSSLIOHandlerSocketOpenSSL> Connect(const TTlsServer& AServer, bool ATls) {
  auto handler = std::make_unique<TQxSSLIOHandlerSocketOpenSSL>();
  handler->SetPassThrough(true);
  handler->SetHost(u"127.0.0.1");
  handler->SetPort(AServer.Port());
  handler->Open();
  if (ATls) handler->SetPassThrough(false);
  return handler;
}

TTlsServerOptions Patient() {
  TTlsServerOptions options;
  options.StepTimeoutMs = 60000;
  return options;
}

// One WriteLn per line; the server decrypts and drops them.
void BM_WriteLines(benchmark::State& state) {
  const bool tls = state.range(0) != 0;
  TTlsServer server(tls ? std::vector<std::string>{"T:", "D:"} : std::vector<std::string>{"D:"},
                    Patient());
  auto handler = Connect(server, tls);
  for (auto _ : state) handler->WriteLn(kLine);
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * 80);
  handler.reset();
  server.Wait(60000);
  state.SetLabel(tls ? "tls" : "plain");
}
BENCHMARK(BM_WriteLines)->Arg(0)->Arg(1)->UseRealTime();

// One ReadLn per line from a server that sends lines without pause.
void BM_ReadLines(benchmark::State& state) {
  const bool tls = state.range(0) != 0;
  const std::string flood = "F:100000000:" + std::string(78, 'y');
  TTlsServer server(tls ? std::vector<std::string>{"T:", flood} : std::vector<std::string>{flood},
                    Patient());
  auto handler = Connect(server, tls);
  for (auto _ : state) benchmark::DoNotOptimize(handler->ReadLn());
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * 80);
  handler.reset();  // the server's flood ends with a failed write
  server.Wait(60000);
  state.SetLabel(tls ? "tls" : "plain");
}
BENCHMARK(BM_ReadLines)->Arg(0)->Arg(1)->UseRealTime();

// Switching a connected socket to TLS: wall time and this thread's CPU time.
void BM_Handshake(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto server = std::make_unique<TTlsServer>(std::vector<std::string>{"T:", "E:"});
    auto handler = Connect(*server, false);
    state.ResumeTiming();
    handler->SetPassThrough(false);
    state.PauseTiming();
    handler.reset();
    server.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Handshake)->Unit(benchmark::kMillisecond);

// A plain connect with the TLS handler, which prepares the TLS context at
// connect, against the same connect with the plain stack handler.
void BM_ConnectPreparingContext(benchmark::State& state) {
  const bool tls = state.range(0) != 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto server = std::make_unique<TTlsServer>(std::vector<std::string>{"E:"});
    std::unique_ptr<TQxIOHandlerStack> handler;
    if (tls) {
      auto ssl = std::make_unique<TQxSSLIOHandlerSocketOpenSSL>();
      ssl->SetPassThrough(true);
      handler = std::move(ssl);
    } else {
      handler = std::make_unique<TQxIOHandlerStack>();
    }
    handler->SetHost(u"127.0.0.1");
    handler->SetPort(server->Port());
    state.ResumeTiming();
    handler->Open();
    state.PauseTiming();
    handler.reset();
    server.reset();
    state.ResumeTiming();
  }
  state.SetLabel(tls ? "tls handler" : "stack handler");
}
BENCHMARK(BM_ConnectPreparingContext)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
