#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/tcp_client.h"

namespace quorvex {

class TQxSSLIOHandlerSocketBase;

enum TQxUseTLS { utNoTLSSupport, utUseImplicitTLS, utUseRequireTLS, utUseExplicitTLS };

// Asked when TLS cannot be had; VContinue true carries on in the clear.
using TQxOnTLSNegotiationFailure = std::function<void(TQxComponent& Asender, bool& VContinue)>;

class EQxTLSClientError : public EQxException {
 public:
  using EQxException::EQxException;
};
class EQxTLSClientCanNotSetWhileConnected : public EQxTLSClientError {
 public:
  EQxTLSClientCanNotSetWhileConnected()
      : EQxTLSClientError(u"This value can not be set while the client is connected.") {}
};
class EQxTLSClientSSLIOHandlerRequred : public EQxTLSClientError {
 public:
  EQxTLSClientSSLIOHandlerRequred()
      : EQxTLSClientError(u"SSL IOHandler is required for this setting") {}
};
class EQxTLSClientTLSNotAvailable : public EQxTLSClientError {
 public:
  using EQxTLSClientError::EQxTLSClientError;
};
class EQxTLSClientTLSHandShakeFailed : public EQxTLSClientError {
 public:
  using EQxTLSClientError::EQxTLSClientError;
};

// A client whose protocol can switch a plain connection to TLS by command
// (STARTTLS and the like). It keeps the TLS mode consistent with the handler
// and the port, and holds the capability lines the server listed.
class TQxExplicitTLSClient : public TQxTCPClientCustom {
 public:
  TQxExplicitTLSClient();

  TQxUseTLS UseTLS() const { return FUseTLS; }
  // Refused while connected, and without a TLS handler for any TLS mode.
  // The well-known ports follow the mode (25 and 465 for SMTP).
  virtual void SetUseTLS(TQxUseTLS AValue);
  // A handler that cannot do TLS turns the TLS mode off.
  void SetIOHandler(TQxIOHandler* AValue) override;

  virtual bool SupportsTLS() { return false; }
  const std::vector<std::u16string>& Capabilities() const { return FCapabilities; }

  TQxOnTLSNegotiationFailure OnTLSNotAvailable;
  TQxOnTLSNegotiationFailure OnTLSNegCmdFailed;
  TQxOnTLSNegotiationFailure OnTLSHandShakeFailed;

 protected:
  // Raises EQxTLSClientSSLIOHandlerRequred unless the handler can do TLS.
  virtual void CheckTLSHandler();
  // Starts TLS on the open connection (the handler's handshake).
  virtual void SwitchToTLS();
  // The handler when it can do TLS, else null.
  TQxSSLIOHandlerSocketBase* SSLHandler() const;
  // Stores the mode as it is: no checks, no port rule.
  void StoreUseTLS(TQxUseTLS AValue) { FUseTLS = AValue; }

  // The three ways a switch to TLS can fail. Each asks its event (outside
  // the required mode) and, unless told to go on, closes the connection and
  // raises.
  void TLSNotAvailable();
  void TLSNegCmdFailed();
  void TLSHandShakeFailed();

  std::vector<std::u16string> FCapabilities;
  std::uint16_t FRegularProtPort = 25;
  std::uint16_t FImplicitTLSProtPort = 465;

 private:
  // QUIT when still connected, then close.
  void CloseAfterTLSFailure();
  bool AskToContinue(const TQxOnTLSNegotiationFailure& AEvent, bool APreset);

  TQxUseTLS FUseTLS = utNoTLSSupport;
};

}  // namespace quorvex
