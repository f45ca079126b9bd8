#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/ssl_io_handler_base.h"

// OpenSSL's own types, kept opaque here: the library is bound at run time.
struct ssl_st;
struct ssl_ctx_st;
struct x509_st;

namespace quorvex {

class TQxOpenSSLLibrary;
// What the socket BIO of a session works on.
struct TQxSocketBioState {
  int Socket = -1;
  bool DontWait = false;  // set around a look or a close alert that must not block
};
class TQxSSLIOHandlerSocketOpenSSL;

// sslvTLSv1_2 (the default) negotiates the highest version both sides speak,
// TLS 1.2 at the least. The others ask for one protocol; those the loaded
// OpenSSL cannot give fail with "Error geting SSL method.".
enum TQxSSLVersion { sslvSSLv2, sslvSSLv23, sslvSSLv3, sslvTLSv1, sslvTLSv1_2 };
enum TQxSSLMode { sslmUnassigned, sslmClient, sslmServer, sslmBoth };
enum TQxSSLCtxMode { sslCtxClient, sslCtxServer };
// Bits of a verify mode set.
enum TQxSSLVerifyMode : unsigned {
  sslvrfPeer = 1,
  sslvrfFailIfNoPeerCert = 2,
  sslvrfClientOnce = 4
};
using TQxSSLVerifyModeSet = unsigned;

// The TLS settings of a handler, copied into its context when TLS is prepared.
class TQxSSLOptions {
 public:
  const std::u16string& RootCertFile() const { return fsRootCertFile; }
  void SetRootCertFile(const std::u16string& AValue) { fsRootCertFile = AValue; }
  const std::u16string& CertFile() const { return fsCertFile; }
  void SetCertFile(const std::u16string& AValue) { fsCertFile = AValue; }
  const std::u16string& KeyFile() const { return fsKeyFile; }
  void SetKeyFile(const std::u16string& AValue) { fsKeyFile = AValue; }
  TQxSSLVersion Method() const { return fMethod; }
  void SetMethod(TQxSSLVersion AValue) { fMethod = AValue; }
  TQxSSLMode Mode() const { return fMode; }
  void SetMode(TQxSSLMode AValue) { fMode = AValue; }
  int VerifyDepth() const { return fVerifyDepth; }
  void SetVerifyDepth(int AValue) { fVerifyDepth = AValue; }
  TQxSSLVerifyModeSet VerifyMode() const { return fVerifyMode; }
  void SetVerifyMode(TQxSSLVerifyModeSet AValue) { fVerifyMode = AValue; }
  const std::string& VerifyDirs() const { return fVerifyDirs; }
  void SetVerifyDirs(const std::string& AValue) { fVerifyDirs = AValue; }
  // Set: the session names this host to the server (SNI) and, with
  // sslvrfPeer, accepts only a certificate issued for it.
  const std::string& VerifyHostName() const { return fVerifyHostName; }
  void SetVerifyHostName(const std::string& AValue) { fVerifyHostName = AValue; }
  // Empty: "AES:ALL:!aNULL:!eNULL:+RC4:@STRENGTH".
  const std::string& CipherList() const { return fCipherList; }
  void SetCipherList(const std::string& AValue) { fCipherList = AValue; }

 private:
  std::u16string fsRootCertFile;
  std::u16string fsCertFile;
  std::u16string fsKeyFile;
  TQxSSLVersion fMethod = sslvTLSv1_2;
  TQxSSLMode fMode = sslmUnassigned;
  int fVerifyDepth = 0;
  TQxSSLVerifyModeSet fVerifyMode = 0;
  std::string fVerifyDirs;
  std::string fVerifyHostName;
  std::string fCipherList;
};

// The peer certificate handed to OnVerifyPeer; valid during the call only.
class TQxX509 {
 public:
  explicit TQxX509(TQxOpenSSLLibrary& ALibrary, x509_st* ACert) : _lib(ALibrary), _cert(ACert) {}
  // One-line forms ("/CN=...") of the subject and issuer names.
  std::u16string Subject() const;
  std::u16string Issuer() const;

 private:
  TQxOpenSSLLibrary& _lib;
  x509_st* _cert;
};

using TCallbackEvent = std::function<void(const std::u16string& AMsg)>;
using TPasswordEvent = std::function<void(std::string& Password)>;
using TVerifyPeerEvent = std::function<bool(TQxX509& ACertificate, bool AOk, int ADepth)>;
using TIOHandlerNotify = std::function<void(TQxIOHandler& ASender)>;

// One OpenSSL context (SSL_CTX) built from a handler's options.
class TQxSSLContext {
 public:
  // Loads the library; raises EQxOSSLCouldNotLoadSSLLibrary when it cannot.
  TQxSSLContext(TQxOpenSSLLibrary& ALibrary, TQxSSLIOHandlerSocketOpenSSL* AParent);
  ~TQxSSLContext();
  TQxSSLContext(const TQxSSLContext&) = delete;
  TQxSSLContext& operator=(const TQxSSLContext&) = delete;

  // Builds the OpenSSL context from the copied options (a client context
  // unless ACtxMode says otherwise).
  void InitContext(TQxSSLCtxMode ACtxMode = sslCtxClient);

  TQxSSLVersion fMethod = sslvTLSv1_2;
  TQxSSLMode fMode = sslmUnassigned;
  std::string fsRootCertFile, fsCertFile, fsKeyFile;
  int fVerifyDepth = 0;
  TQxSSLVerifyModeSet fVerifyMode = 0;
  std::string fVerifyDirs;
  std::string fVerifyHostName;
  std::string fCipherList;
  bool fStatusInfoOn = false;
  bool fVerifyOn = false;
  std::uint32_t fSessionId = 1;
  TQxSSLCtxMode fCtxMode = sslCtxClient;

  ssl_ctx_st* Context() const { return fContext; }
  TQxSSLIOHandlerSocketOpenSSL* Parent() const { return _parent; }
  TQxOpenSSLLibrary& Library() const { return _lib; }

 private:
  void DestroyContext();

  TQxOpenSSLLibrary& _lib;
  TQxSSLIOHandlerSocketOpenSSL* _parent;
  ssl_ctx_st* fContext = nullptr;
};

// The cipher of a running session.
class TQxSSLCipher {
 public:
  std::u16string Name;
  std::u16string Description;
  int Bits = 0;
  std::u16string Version;
};

// One TLS session on one socket.
class TQxSSLSocket {
 public:
  TQxSSLSocket(TQxSSLIOHandlerSocketOpenSSL* AParent, TQxSSLContext* AContext);
  // Sends one close alert (without waiting for the peer's) and frees the
  // session.
  ~TQxSSLSocket();
  TQxSSLSocket(const TQxSSLSocket&) = delete;
  TQxSSLSocket& operator=(const TQxSSLSocket&) = delete;

  // The client handshake on pHandle; returns the cipher status text.
  std::u16string Connect(int pHandle);
  // The byte count, 0 for the peer's close alert, -1 for a failure whose
  // socket error is in errno.
  int Recv(char* ABuffer, int ASize);
  // All ALength bytes from AOffset; the total, 0 after a close alert, -1 for
  // a failure whose socket error is in errno.
  int Send(const char* ABuffer, int AOffset, int ALength);

  // The negotiated cipher; empty before the handshake.
  const TQxSSLCipher& Cipher();
  // The negotiated protocol ("TLSv1.3", ...), empty before the handshake.
  std::u16string ProtocolVersion() const;
  // Why the peer's certificate was refused ("certificate has expired",
  // "hostname mismatch", ...); empty when it was not.
  std::u16string VerifyFailure() const;
  // Decrypted bytes already held inside the session.
  bool HasPendingData() const;
  // Bytes held inside the session, decrypted or not.
  bool HasBufferedInput() const;
  // Whether a read would give data (or a close or failure) now, looking at
  // what has arrived without blocking.
  bool HasApplicationData();
  ssl_st* SSL() const { return fSSL; }
  TQxSSLContext* Context() const { return fSSLContext; }
  TQxSSLIOHandlerSocketOpenSSL* Parent() const { return fParent; }

 private:
  TQxSSLIOHandlerSocketOpenSSL* fParent;
  TQxSSLContext* fSSLContext;  // not owned
  ssl_st* fSSL = nullptr;
  bool _established = false;    // the handshake completed
  TQxSocketBioState _bioState;  // what the session's BIO reads and writes
  std::unique_ptr<TQxSSLCipher> fSSLCipher;
};

// The socket handler that can turn its open TCP connection into TLS.
// Created with PassThrough false: Open then handshakes right after the
// connect. Set PassThrough true before Open for a plain start (STARTTLS),
// then false to switch.
class TQxSSLIOHandlerSocketOpenSSL : public TQxSSLIOHandlerSocketBase {
 public:
  TQxSSLIOHandlerSocketOpenSSL();
  // Sends the close alert of a running session and closes the socket.
  ~TQxSSLIOHandlerSocketOpenSSL() override;

  // Switching off on a connected socket runs the handshake once; raises
  // "Could not load SSL library." when TLS could not be prepared.
  void SetPassThrough(bool AValue) override;
  void StartSSL() override;
  void Open() override;
  void Close() override;
  // Over TLS, true only when the session has data to give (or the peer
  // closed): bytes held inside the session count, records without data not.
  bool Readable(int AMSec = -1) override;

  TQxSSLOptions& SSLOptions() { return *fxSSLOptions; }
  TQxSSLContext* SSLContext() const { return fSSLContext.get(); }
  // Why the last handshake refused the peer's certificate; empty when it did not.
  const std::u16string& VerifyFailure() const { return fVerifyFailure; }
  TQxSSLSocket* SSLSocket() const { return fSSLSocket.get(); }

  // The OpenSSL binding in use: the process's own (libssl.so.3 and
  // libcrypto.so.3) unless another is set. Not owned; it must outlive the
  // handler.
  TQxOpenSSLLibrary& SSLLibrary() const { return *_library; }
  void SetSSLLibrary(TQxOpenSSLLibrary& ALibrary) { _library = &ALibrary; }

  TCallbackEvent OnStatusInfo;
  TPasswordEvent OnGetPassword;
  TVerifyPeerEvent OnVerifyPeer;
  TIOHandlerNotify OnBeforeConnect;

 protected:
  void ConnectClient() override;
  int ReceiveChunk(char* VBuffer, int ASize) override;
  int SendChunk(const TQxBytes& ABuffer, int AOffset, int ALength) override;

 private:
  void InitSSLContext();
  void OpenEncodedConnection();

  TQxOpenSSLLibrary* _library;
  std::unique_ptr<TQxSSLContext> fSSLContext;
  std::unique_ptr<TQxSSLOptions> fxSSLOptions;
  std::unique_ptr<TQxSSLSocket> fSSLSocket;
  std::u16string fVerifyFailure;
};

}  // namespace quorvex
