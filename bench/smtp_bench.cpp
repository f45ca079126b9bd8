// Messages per second to a local SMTP sink, one connection per message as the
// alert mail does, plain and with STARTTLS + AUTH LOGIN or PLAIN: this client against
// libcurl's SMTP sending the same message to the same sink.

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstring>
#include <memory>
#include <string>

#include "net/ssl_openssl.h"
#include "platform/text.h"
#include "smtp/smtp.h"
#include "support/smtp_sink.h"

namespace {

using namespace quorvex;

void FillMessage(TQxMessage& AMsg) {
  AMsg.From().SetAddress(u"monitor@example.test");
  AMsg.Recipients().SetEMailAddresses(u"ops@example.test, desk@example.test");
  AMsg.SetSubject(u"vpn01 Down!");
  AMsg.Body().SetText(
      u"The VPN server vpn01 did not accept a connection.\r\n"
      u"Last output: Initialization Sequence Completed was not seen within 90 s.\r\n");
}

bench_support::TSMTPSink& Sink() {
  static bench_support::TSMTPSink sink;
  return sink;
}

// ATLS: STARTTLS and AUTH LOGIN. APlainHandler: a plain socket handler in
// place of the TLS-capable one, to show what preparing TLS costs.
// AConnectTimeout: the alert mail sets one, which connects on a second thread.
// AMechanism: the login's mechanism (Auto takes LOGIN, which the sink offers).
void Quorvex(benchmark::State& AState, bool ATLS, bool APlainHandler = false,
             int AConnectTimeout = 10000, TQxSMTPMechanism AMechanism = TQxSMTPMechanism::Auto) {
  auto& sink = Sink();
  TQxSMTP smtp;  // one component for the run, a fresh handler per message
  smtp.SetHost(u"127.0.0.1");
  smtp.SetPort(sink.Port());
  smtp.SetConnectTimeout(AConnectTimeout);
  smtp.SetReadTimeout(10000);
  if (ATLS) {
    smtp.SetUsername(u"alice");
    smtp.SetPassword(u"secret");
    smtp.SetMechanism(AMechanism);
  }
  const std::uint64_t before = sink.Messages();
  for (auto _ : AState) {
    std::unique_ptr<TQxIOHandler> handler;
    if (APlainHandler)
      handler = std::make_unique<TQxIOHandlerStack>();
    else
      handler = std::make_unique<TQxSSLIOHandlerSocketOpenSSL>();
    smtp.SetIOHandler(handler.get());
    smtp.SetUseTLS(ATLS ? utUseExplicitTLS : utNoTLSSupport);
    TQxMessage message;
    FillMessage(message);
    smtp.Connect();
    smtp.Send(message);
    smtp.Disconnect();  // QUIT, as libcurl sends one too
    smtp.SetIOHandler(nullptr);
  }
  if (sink.Messages() - before != static_cast<std::uint64_t>(AState.iterations()))
    AState.SkipWithError("messages lost");
  AState.SetItemsProcessed(AState.iterations());
}

struct TPayload {
  const std::string* Text;
  size_t Offset = 0;
};

size_t ReadPayload(char* ABuffer, size_t ASize, size_t ACount, void* AUser) {
  auto* payload = static_cast<TPayload*>(AUser);
  const size_t n = std::min(ASize * ACount, payload->Text->size() - payload->Offset);
  std::memcpy(ABuffer, payload->Text->data() + payload->Offset, n);
  payload->Offset += n;
  return n;
}

// The bytes this client writes after DATA, for libcurl to send.
std::string MessageText() {
  TQxMessage message;
  FillMessage(message);
  message.GenerateHeader();
  std::string text;
  for (const auto& line : message.LastGeneratedHeaders().Lines()) text += toUtf8(line) + "\r\n";
  text += "\r\n";
  for (const auto& line : message.Body().Lines()) text += toUtf8(line) + "\r\n";
  return text + "\r\n";
}

void Curl(benchmark::State& AState, bool ATLS, const char* ALoginOptions = "AUTH=LOGIN") {
  auto& sink = Sink();
  const std::string url = "smtp://127.0.0.1:" + std::to_string(sink.Port());
  const std::string text = MessageText();
  const std::uint64_t before = sink.Messages();
  for (auto _ : AState) {
    CURL* curl = curl_easy_init();
    curl_slist* rcpt = curl_slist_append(nullptr, "<ops@example.test>");
    rcpt = curl_slist_append(rcpt, "<desk@example.test>");
    TPayload payload{&text};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, "<monitor@example.test>");
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadPayload);
    curl_easy_setopt(curl, CURLOPT_READDATA, &payload);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, 10000L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 10000L);
    if (ATLS) {
      curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
      // The test identity is self-signed; this client does not verify either.
      curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
      curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
      curl_easy_setopt(curl, CURLOPT_USERNAME, "alice");
      curl_easy_setopt(curl, CURLOPT_PASSWORD, "secret");
      curl_easy_setopt(curl, CURLOPT_LOGIN_OPTIONS, ALoginOptions);
      // PLAIN's initial response on the AUTH line, as this client sends it.
      if (std::strcmp(ALoginOptions, "AUTH=PLAIN") == 0)
        curl_easy_setopt(curl, CURLOPT_SASL_IR, 1L);
    }
    const CURLcode result = curl_easy_perform(curl);
    curl_slist_free_all(rcpt);
    curl_easy_cleanup(curl);
    if (result != CURLE_OK) {
      AState.SkipWithError(curl_easy_strerror(result));
      break;
    }
  }
  if (sink.Messages() - before != static_cast<std::uint64_t>(AState.iterations()))
    AState.SkipWithError("messages lost");
  AState.SetItemsProcessed(AState.iterations());
}

BENCHMARK_CAPTURE(Quorvex, Plain, false)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Quorvex, PlainSocketHandler, false, true)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Quorvex, PlainSocketHandlerNoConnectTimeout, false, true, 0)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Curl, Plain, false)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Quorvex, StartTLSAuthLogin, true)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Curl, StartTLSAuthLogin, true)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Quorvex, StartTLSAuthPlain, true, false, 10000, TQxSMTPMechanism::Plain)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Curl, StartTLSAuthPlain, true, "AUTH=PLAIN")
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  curl_global_cleanup();
  return 0;
}
