#include "net/explicit_tls_client.h"

#include "net/ssl_io_handler_base.h"

namespace quorvex {

namespace {

constexpr char16_t kNegotiationFailed[] = u"Start SSL negotiation command failed.";
constexpr char16_t kSSLNotAvailable[] = u"SSL is not available on this server.";

}  // namespace

TQxExplicitTLSClient::TQxExplicitTLSClient() = default;

TQxSSLIOHandlerSocketBase* TQxExplicitTLSClient::SSLHandler() const {
  return dynamic_cast<TQxSSLIOHandlerSocketBase*>(IOHandler());
}

void TQxExplicitTLSClient::CheckTLSHandler() {
  if (!SSLHandler()) throw EQxTLSClientSSLIOHandlerRequred();
}

void TQxExplicitTLSClient::SetUseTLS(TQxUseTLS AValue) {
  if (Connected()) throw EQxTLSClientCanNotSetWhileConnected();
  if (AValue != utNoTLSSupport) CheckTLSHandler();
  if (AValue == FUseTLS) return;
  if (AValue == utUseImplicitTLS) {
    if (Port() == FRegularProtPort) SetPort(FImplicitTLSProtPort);
  } else if (Port() == FImplicitTLSProtPort) {
    SetPort(FRegularProtPort);
  }
  FUseTLS = AValue;
}

void TQxExplicitTLSClient::SetIOHandler(TQxIOHandler* AValue) {
  TQxTCPClientCustom::SetIOHandler(AValue);
  if (!SSLHandler() && FUseTLS != utNoTLSSupport) SetUseTLS(utNoTLSSupport);
}

void TQxExplicitTLSClient::SwitchToTLS() {
  if (auto* handler = SSLHandler()) handler->SetPassThrough(false);
}

bool TQxExplicitTLSClient::AskToContinue(const TQxOnTLSNegotiationFailure& AEvent, bool APreset) {
  bool go_on = APreset;
  if (AEvent) AEvent(*this, go_on);
  return go_on;
}

void TQxExplicitTLSClient::CloseAfterTLSFailure() {
  if (Connected()) Disconnect(true);
}

void TQxExplicitTLSClient::TLSNotAvailable() {
  if (FUseTLS != utUseRequireTLS && AskToContinue(OnTLSNotAvailable, true)) return;
  CloseAfterTLSFailure();
  throw EQxTLSClientTLSNotAvailable(kNegotiationFailed);
}

void TQxExplicitTLSClient::TLSNegCmdFailed() {
  if (FUseTLS == utUseRequireTLS) {
    CloseAfterTLSFailure();
    throw EQxTLSClientTLSNotAvailable(kSSLNotAvailable);
  }
  if (AskToContinue(OnTLSNegCmdFailed, false)) return;
  CloseAfterTLSFailure();
  throw EQxTLSClientTLSNotAvailable(kNegotiationFailed);
}

void TQxExplicitTLSClient::TLSHandShakeFailed() {
  if (FUseTLS != utUseRequireTLS && AskToContinue(OnTLSHandShakeFailed, false)) return;
  CloseAfterTLSFailure();
  throw EQxTLSClientTLSHandShakeFailed(kSSLNotAvailable);
}

}  // namespace quorvex
