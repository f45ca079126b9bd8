#include "net/ssl_openssl.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>

#include "net/net_errors.h"
#include "net/openssl_library.h"
#include "net/socket_error.h"
#include "net/socket_system.h"
#include "net/ssl_errors.h"
#include "platform/text.h"

namespace quorvex {

namespace {

constexpr char kDefaultCipherList[] = "AES:ALL:!aNULL:!eNULL:+RC4:@STRENGTH";
constexpr char16_t kEOFViolation[] = u"EOF was observed that violates the protocol";

std::u16string ErrorString(const TQxOpenSSLFunctions& F, unsigned long ACode) {
  char buffer[256];
  F.ERR_error_string_n(ACode, buffer, sizeof buffer);
  return fromUtf8(buffer);
}

std::u16string WithDetail(const std::u16string& AMsg, const std::u16string& ADetail) {
  return AMsg.empty() ? ADetail : AMsg + u"\r\n" + ADetail;
}

// The peer closed the TCP connection without a close alert: OpenSSL 3
// reports this as a protocol error of its own; older generations as
// SSL_ERROR_SYSCALL with a result of 0.
bool IsUnexpectedEOF(unsigned long ACode) {
  return ERR_GET_LIB(ACode) == ERR_LIB_SSL &&
         ERR_GET_REASON(ACode) == SSL_R_UNEXPECTED_EOF_WHILE_READING;
}

// EQxOpenSSLAPICryptoError.RaiseExceptionCode: the message, CR LF and
// OpenSSL's text for the code.
template <class E>
[[noreturn]] void RaiseCryptoCode(const TQxOpenSSLFunctions& F, unsigned long ACode,
                                  const std::u16string& AMsg) {
  throw E(WithDetail(AMsg, ErrorString(F, ACode)), ACode);
}

template <class E>
[[noreturn]] void RaiseCrypto(const TQxOpenSSLFunctions& F, const std::u16string& AMsg) {
  const unsigned long code = F.ERR_get_error();
  F.ERR_clear_error();
  RaiseCryptoCode<E>(F, code, AMsg);
}

// EQxOpenSSLAPISSLError.RaiseException for a failed call on ASSL.
template <class E>
[[noreturn]] void RaiseSSL(const TQxOpenSSLFunctions& F, SSL* ASSL, int ARetCode,
                           const std::u16string& AMsg) {
  const int saved = WSGetLastError();
  const int kind = F.SSL_get_error(ASSL, ARetCode);
  const unsigned long code = F.ERR_get_error();
  F.ERR_clear_error();
  const std::u16string prefix = AMsg.empty() ? u"" : AMsg + u"\r\n";
  if (IsUnexpectedEOF(code) ||
      (kind == SSL_ERROR_SYSCALL && code == 0 && (ARetCode == 0 || saved == 0)))
    throw E(prefix + kEOFViolation, SSL_ERROR_SYSCALL, 0);
  if (kind == SSL_ERROR_SSL || (kind == SSL_ERROR_SYSCALL && code != 0))
    RaiseCryptoCode<EQxOSSLUnderlyingCryptoError>(F, code, AMsg);
  if (kind == SSL_ERROR_SYSCALL) RaiseSocketError(saved);
  // A blocking socket asks to be retried only when its time-out has run out.
  if ((kind == SSL_ERROR_WANT_READ || kind == SSL_ERROR_WANT_WRITE) &&
      saved == socket_error::WouldBlock)
    RaiseSocketError(socket_error::TimedOut);
  throw E(prefix + ErrorString(F, static_cast<unsigned long>(kind)), kind, ARetCode);
}

// A time-out of AMSec ms on both directions of the socket; 0 or less: none.
void SetSocketTimeouts(int ASocket, int AMSec) { socket_system::SetTimeouts(ASocket, AMSec); }

TQxSSLIOHandlerSocketOpenSSL* HandlerOf(const TQxOpenSSLFunctions& F, const SSL* ASSL) {
  auto* socket = static_cast<TQxSSLSocket*>(F.SSL_get_ex_data(ASSL, 0));
  return socket ? socket->Parent() : nullptr;
}

// The callbacks get the library through the context's user data (password)
// or the session's ex data (info, verify); OpenSSL's C signatures leave no
// other way in.
int PasswordCallback(char* ABuf, int ASize, int /*ARWFlag*/, void* AUserData) {
  auto* context = static_cast<TQxSSLContext*>(AUserData);
  if (!context || !context->Parent() || ASize <= 0) return 0;
  std::lock_guard<std::mutex> guard(context->Library().PasswordLock);
  std::string password;
  try {
    if (context->Parent()->OnGetPassword) context->Parent()->OnGetPassword(password);
  } catch (...) {
    return 0;  // nothing may cross OpenSSL's C frames; no password then
  }
  std::memset(ABuf, 0, ASize);
  // The count of bytes copied: OpenSSL reads that many from the buffer.
  const size_t length = std::min(password.size(), static_cast<size_t>(ASize - 1));
  std::memcpy(ABuf, password.data(), length);
  return static_cast<int>(length);
}

// The binding whose context installed the callbacks (part of the process-wide
// library state): OpenSSL calls them with nothing else to go by.
std::atomic<TQxOpenSSLLibrary*> gCallbackLibrary{nullptr};

void InfoCallback(const SSL* ASSL, int /*AWhere*/, int /*ARet*/) {
  TQxOpenSSLLibrary* library = gCallbackLibrary.load();
  if (!library) return;
  const TQxOpenSSLFunctions& F = library->F();
  TQxSSLIOHandlerSocketOpenSSL* handler = HandlerOf(F, ASSL);
  if (!handler || !handler->OnStatusInfo) return;
  const int saved = WSGetLastError();  // the handshake reads the socket error after this
  try {
    std::lock_guard<std::mutex> guard(library->InfoLock);
    handler->OnStatusInfo(u"SSL status: \"" + fromUtf8(F.SSL_state_string_long(ASSL)) + u"\"");
  } catch (...) {
    // nothing may cross OpenSSL's C frames; a status report is not worth a failure
  }
  WSSetLastError(saved);
}

int VerifyCallback(int AOk, X509_STORE_CTX* AStore) {
  TQxOpenSSLLibrary* library = gCallbackLibrary.load();
  if (!library) return AOk;
  const TQxOpenSSLFunctions& F = library->F();
  try {
    auto* ssl = static_cast<SSL*>(
        F.X509_STORE_CTX_get_ex_data(AStore, F.SSL_get_ex_data_X509_STORE_CTX_idx()));
    TQxSSLIOHandlerSocketOpenSSL* handler = ssl ? HandlerOf(F, ssl) : nullptr;
    if (!handler || !handler->OnVerifyPeer) return AOk;
    const int depth = F.X509_STORE_CTX_get_error_depth(AStore);
    bool ok = AOk != 0;
    if (depth > handler->SSLOptions().VerifyDepth()) ok = false;
    TQxX509 certificate(*library, F.X509_STORE_CTX_get_current_cert(AStore));
    std::lock_guard<std::mutex> guard(library->VerifyLock);
    return handler->OnVerifyPeer(certificate, ok, depth) ? 1 : 0;
  } catch (...) {
    return 1;  // an error inside the event counts as accept
  }
}

std::u16string NameText(const TQxOpenSSLFunctions& F, X509_NAME* AName) {
  if (!AName) return {};
  char buffer[1024];
  return fromUtf8(F.X509_NAME_oneline(AName, buffer, sizeof buffer));
}

}  // namespace

// ---------------------------------------------------------------- TQxX509

std::u16string TQxX509::Subject() const {
  return _cert ? NameText(_lib.F(), _lib.F().X509_get_subject_name(_cert)) : u"";
}

std::u16string TQxX509::Issuer() const {
  return _cert ? NameText(_lib.F(), _lib.F().X509_get_issuer_name(_cert)) : u"";
}

// ---------------------------------------------------------------- TQxSSLContext

TQxSSLContext::TQxSSLContext(TQxOpenSSLLibrary& ALibrary, TQxSSLIOHandlerSocketOpenSSL* AParent)
    : _lib(ALibrary), _parent(AParent) {
  if (!_lib.Load()) throw EQxOSSLCouldNotLoadSSLLibrary();
}

TQxSSLContext::~TQxSSLContext() { DestroyContext(); }

void TQxSSLContext::DestroyContext() {
  if (fContext) _lib.F().SSL_CTX_free(fContext);
  fContext = nullptr;
}

void TQxSSLContext::InitContext(TQxSSLCtxMode ACtxMode) {
  const TQxOpenSSLFunctions& F = _lib.F();
  DestroyContext();
  fCtxMode = ACtxMode;
  if (fMode == sslmUnassigned) fMode = ACtxMode == sslCtxServer ? sslmServer : sslmClient;

  const SSL_METHOD* (*method)() = nullptr;
  switch (fMode) {
    case sslmClient:
      method = F.TLS_client_method;
      break;
    case sslmServer:
      method = F.TLS_server_method;
      break;
    case sslmBoth:
      method = F.TLS_method;
      break;
    default:
      throw EQxOSSLModeNotSet();
  }
  // One flexible method; the version limits pick the protocol. SSL 2 and 3
  // are gone from the OpenSSL these machines carry.
  int minVersion = 0, maxVersion = 0;
  switch (fMethod) {
    case sslvTLSv1_2:
      minVersion = TLS1_2_VERSION;
      break;
    case sslvSSLv23:
      break;
    case sslvTLSv1:
      minVersion = maxVersion = TLS1_VERSION;
      break;
    default:
      throw EQxOSSLGetMethodError();
  }
  fContext = F.SSL_CTX_new(method());
  if (!fContext) throw EQxOSSLCreatingContextError();
  if (minVersion) F.SSL_CTX_ctrl(fContext, SSL_CTRL_SET_MIN_PROTO_VERSION, minVersion, nullptr);
  if (maxVersion) F.SSL_CTX_ctrl(fContext, SSL_CTRL_SET_MAX_PROTO_VERSION, maxVersion, nullptr);
  F.SSL_CTX_ctrl(fContext, SSL_CTRL_MODE, SSL_MODE_AUTO_RETRY, nullptr);
  // Whole socket reads instead of one per record header and body.
  F.SSL_CTX_ctrl(fContext, SSL_CTRL_SET_READ_AHEAD, 1, nullptr);
  F.SSL_CTX_set_default_passwd_cb(fContext, PasswordCallback);
  F.SSL_CTX_set_default_passwd_cb_userdata(fContext, this);
  // The system's trust store is read only for a peer check: loading it costs
  // tens of milliseconds on every connection, and nothing else looks at it.
  if (fVerifyMode != 0) F.SSL_CTX_set_default_verify_paths(fContext);
  if (!fsRootCertFile.empty() &&
      F.SSL_CTX_load_verify_locations(fContext, fsRootCertFile.c_str(), nullptr) <= 0)
    RaiseCrypto<EQxOSSLLoadingRootCertError>(F, u"Could not load root certificate.");
  if (!fsCertFile.empty() &&
      F.SSL_CTX_use_certificate_file(fContext, fsCertFile.c_str(), SSL_FILETYPE_PEM) <= 0)
    RaiseCrypto<EQxOSSLLoadingCertError>(F, u"Could not load certificate.");
  if (!fsKeyFile.empty() &&
      (F.SSL_CTX_use_PrivateKey_file(fContext, fsKeyFile.c_str(), SSL_FILETYPE_PEM) <= 0 ||
       F.SSL_CTX_check_private_key(fContext) <= 0))
    RaiseCrypto<EQxOSSLLoadingKeyError>(F, u"Could not load key, check password.");
  if (fStatusInfoOn || fVerifyOn) gCallbackLibrary = &_lib;
  if (fStatusInfoOn) F.SSL_CTX_set_info_callback(fContext, InfoCallback);
  const std::string& ciphers = fCipherList.empty() ? std::string(kDefaultCipherList) : fCipherList;
  if (F.SSL_CTX_set_cipher_list(fContext, ciphers.c_str()) <= 0)
    RaiseCrypto<EQxOSSLLoadingKeyError>(F, u"SetCipher failed.");
  if (fVerifyMode != 0) {
    F.SSL_CTX_set_verify(fContext, static_cast<int>(fVerifyMode & 7),
                         fVerifyOn ? VerifyCallback : nullptr);
    F.SSL_CTX_set_verify_depth(fContext, fVerifyDepth);
  }
  if (ACtxMode == sslCtxServer)
    F.SSL_CTX_set_session_id_context(fContext, reinterpret_cast<unsigned char*>(&fSessionId),
                                     sizeof fSessionId);
  if (!fsRootCertFile.empty())
    F.SSL_CTX_set_client_CA_list(fContext, F.SSL_load_client_CA_file(fsRootCertFile.c_str()));
}

// ---------------------------------------------------------------- TQxSSLSocket

TQxSSLSocket::TQxSSLSocket(TQxSSLIOHandlerSocketOpenSSL* AParent, TQxSSLContext* AContext)
    : fParent(AParent), fSSLContext(AContext) {}

TQxSSLSocket::~TQxSSLSocket() {
  if (!fSSL) return;
  const TQxOpenSSLFunctions& F = fSSLContext->Library().F();
  if (_established) {
    // One call: sends our alert, does not wait for the peer's. Nor for room
    // in the send buffer of a peer that stopped reading: the alert is a
    // courtesy, the socket closes next either way.
    _bioState.DontWait = true;
    F.SSL_shutdown(fSSL);
  }
  F.SSL_free(fSSL);
  F.ERR_clear_error();
}

std::u16string TQxSSLSocket::Connect(int pHandle) {
  const TQxOpenSSLFunctions& F = fSSLContext->Library().F();
  F.ERR_clear_error();
  fSSL = F.SSL_new(fSSLContext->Context());
  if (!fSSL)
    throw EQxOSSLConnectError(
        WithDetail(u"Error connecting with SSL.", ErrorString(F, F.ERR_get_error())));
  int result = F.SSL_set_ex_data(fSSL, 0, this);
  if (result < 1)
    RaiseSSL<EQxOSSLDataBindingError>(F, fSSL, result, u"Error binding data to SSL socket.");
  // The session talks to the socket through our BIO, which never raises
  // SIGPIPE (see TQxOpenSSLLibrary::SocketMethod).
  _bioState.Socket = pHandle;
  BIO* bio = F.BIO_new(fSSLContext->Library().SocketMethod());
  if (!bio) {
    F.ERR_clear_error();
    throw EQxOSSLFDSetError(u"Error setting File Descriptor for SSL");
  }
  F.BIO_set_data(bio, &_bioState);
  F.BIO_set_init(bio, 1);
  F.SSL_set_bio(fSSL, bio, bio);  // the session owns it now
  if (const std::string& host = fSSLContext->fVerifyHostName; !host.empty()) {
    // SNI takes names only; a literal address is still checked below.
    F.SSL_ctrl(fSSL, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
               const_cast<char*>(host.c_str()));
    if (F.SSL_set1_host(fSSL, host.c_str()) != 1)
      RaiseCrypto<EQxOSSLConnectError>(F, u"Error connecting with SSL.");
  }
  WSSetLastError(0);
  result = F.SSL_connect(fSSL);
  if (result < 1) RaiseSSL<EQxOSSLConnectError>(F, fSSL, result, u"Error connecting with SSL.");
  _established = true;
  const TQxSSLCipher& cipher = Cipher();
  return u"Cipher: name = " + cipher.Name + u"; description = " + cipher.Description +
         u"; bits = " + fromUtf8(std::to_string(cipher.Bits)) + u"; version = " + cipher.Version +
         u"; ";
}

const TQxSSLCipher& TQxSSLSocket::Cipher() {
  if (!fSSLCipher) fSSLCipher = std::make_unique<TQxSSLCipher>();
  if (fSSL && _established) {
    const TQxOpenSSLFunctions& F = fSSLContext->Library().F();
    const SSL_CIPHER* cipher = F.SSL_get_current_cipher(fSSL);
    if (cipher) {
      char description[1024];
      fSSLCipher->Name = fromUtf8(F.SSL_CIPHER_get_name(cipher));
      fSSLCipher->Description =
          fromUtf8(F.SSL_CIPHER_description(cipher, description, sizeof description));
      fSSLCipher->Bits = F.SSL_CIPHER_get_bits(cipher, nullptr);
      fSSLCipher->Version = fromUtf8(F.SSL_CIPHER_get_version(cipher));
    }
  }
  return *fSSLCipher;
}

std::u16string TQxSSLSocket::VerifyFailure() const {
  if (!fSSL || !(fSSLContext->fVerifyMode & sslvrfPeer)) return {};
  const TQxOpenSSLFunctions& F = fSSLContext->Library().F();
  const long result = F.SSL_get_verify_result(fSSL);
  if (result == X509_V_OK) return {};
  return fromUtf8(F.X509_verify_cert_error_string(result));
}

std::u16string TQxSSLSocket::ProtocolVersion() const {
  if (!fSSL || !_established) return {};
  return fromUtf8(fSSLContext->Library().F().SSL_get_version(fSSL));
}

namespace {

// The socket error of a failed TLS transfer, left as the last socket error
// for the caller.
// Returns -1, or 0 when the peer simply ended the stream.
int TransferFailure(const TQxOpenSSLFunctions& F, int AKind, int ASavedErrno) {
  const unsigned long code = F.ERR_get_error();
  F.ERR_clear_error();
  if (AKind == SSL_ERROR_ZERO_RETURN) return 0;
  // A peer that closes without its alert has ended the stream as a plain
  // socket's peer does; line framing still refuses a cut-off line.
  if (IsUnexpectedEOF(code) || (AKind == SSL_ERROR_SYSCALL && code == 0 && ASavedErrno == 0))
    return 0;
  if (AKind == SSL_ERROR_SYSCALL) {
    WSSetLastError(ASavedErrno);
  } else if ((AKind == SSL_ERROR_WANT_READ || AKind == SSL_ERROR_WANT_WRITE)) {
    WSSetLastError(
        socket_error::TimedOut);  // the socket's time-out ran out in the middle of a record
  } else {
    WSSetLastError(
        socket_error::ConnectionAborted);  // the session broke: bad record, alert from the peer
  }
  return -1;
}

bool WouldBlock(int AKind, int AErrno) {
  return (AKind == SSL_ERROR_WANT_READ || AKind == SSL_ERROR_WANT_WRITE) &&
         AErrno == socket_error::WouldBlock;
}

}  // namespace

int TQxSSLSocket::Recv(char* ABuffer, int ASize) {
  if (!fSSL) {
    WSSetLastError(socket_error::NotConnected);
    return -1;
  }
  const TQxOpenSSLFunctions& F = fSSLContext->Library().F();
  for (;;) {
    WSSetLastError(0);
    const int result = F.SSL_read(fSSL, ABuffer, ASize);
    const int saved = WSGetLastError();
    if (result > 0) return result;
    const int kind = F.SSL_get_error(fSSL, result);
    // Retry at once, unless the socket's time-out is what stopped the read.
    if ((kind == SSL_ERROR_WANT_READ || kind == SSL_ERROR_WANT_WRITE) && !WouldBlock(kind, saved))
      continue;
    return TransferFailure(F, kind, saved);
  }
}

int TQxSSLSocket::Send(const char* ABuffer, int AOffset, int ALength) {
  if (!fSSL) {
    WSSetLastError(socket_error::NotConnected);
    return -1;
  }
  const TQxOpenSSLFunctions& F = fSSLContext->Library().F();
  int total = 0;
  while (ALength > 0) {
    WSSetLastError(0);
    const int result = F.SSL_write(fSSL, ABuffer + AOffset, ALength);
    const int saved = WSGetLastError();
    if (result > 0) {
      AOffset += result;
      ALength -= result;
      total += result;
      continue;
    }
    const int kind = F.SSL_get_error(fSSL, result);
    if ((kind == SSL_ERROR_WANT_READ || kind == SSL_ERROR_WANT_WRITE) && !WouldBlock(kind, saved))
      continue;
    if (kind == SSL_ERROR_ZERO_RETURN) {
      F.ERR_clear_error();
      return 0;
    }
    const int failure = TransferFailure(F, kind, saved);
    if (failure == 0) WSSetLastError(socket_error::Shutdown);  // nobody is left to write to
    return -1;
  }
  return total;
}

bool TQxSSLSocket::HasPendingData() const {
  return fSSL && _established && fSSLContext->Library().F().SSL_pending(fSSL) > 0;
}

bool TQxSSLSocket::HasApplicationData() {
  if (!fSSL || !_established) return false;
  const TQxOpenSSLFunctions& F = fSSLContext->Library().F();
  if (F.SSL_pending(fSSL) > 0) return true;
  // Look without blocking: a record that held no data (TLS 1.3 sends
  // session tickets after the handshake) must not count as input.
  char byte;
  _bioState.DontWait = true;
  WSSetLastError(0);
  const int result = F.SSL_peek(fSSL, &byte, 1);
  const int saved = WSGetLastError();
  _bioState.DontWait = false;
  if (result > 0) return true;
  const int kind = F.SSL_get_error(fSSL, result);
  if (WouldBlock(kind, saved)) {
    F.ERR_clear_error();
    return false;
  }
  return true;  // a close or a failure: the read reports it
}

bool TQxSSLSocket::HasBufferedInput() const {
  return fSSL && _established && fSSLContext->Library().F().SSL_has_pending(fSSL) == 1;
}

// ---------------------------------------------------------------- the handler

TQxSSLIOHandlerSocketOpenSSL::TQxSSLIOHandlerSocketOpenSSL()
    : _library(&TQxOpenSSLLibrary::Default()), fxSSLOptions(std::make_unique<TQxSSLOptions>()) {}

TQxSSLIOHandlerSocketOpenSSL::~TQxSSLIOHandlerSocketOpenSSL() {
  // The close alert goes out before the socket handler closes the socket.
  fSSLSocket.reset();
  fSSLContext.reset();
}

void TQxSSLIOHandlerSocketOpenSSL::Open() {
  FOpened = false;
  TQxSSLIOHandlerSocketBase::Open();
}

void TQxSSLIOHandlerSocketOpenSSL::ConnectClient() {
  // The TCP connect itself is always plain.
  const bool passThrough = fPassThrough;
  fPassThrough = true;
  try {
    TQxSSLIOHandlerSocketBase::ConnectClient();
  } catch (...) {
    fPassThrough = passThrough;
    throw;
  }
  fPassThrough = passThrough;
  if (OnBeforeConnect) OnBeforeConnect(*this);
  StartSSL();
}

void TQxSSLIOHandlerSocketOpenSSL::StartSSL() {
  try {
    InitSSLContext();
  } catch (const EQxOSSLCouldNotLoadSSLLibrary&) {
    // A plain connection works without OpenSSL; switching to TLS reports it.
    if (!fPassThrough) throw;
  }
  if (!fPassThrough) OpenEncodedConnection();
}

void TQxSSLIOHandlerSocketOpenSSL::InitSSLContext() {
  if (fSSLContext) return;
  auto context = std::make_unique<TQxSSLContext>(*_library, this);
  const TQxSSLOptions& options = *fxSSLOptions;
  context->fsRootCertFile = toUtf8(options.RootCertFile());
  context->fsCertFile = toUtf8(options.CertFile());
  context->fsKeyFile = toUtf8(options.KeyFile());
  context->fVerifyDepth = options.VerifyDepth();
  context->fVerifyMode = options.VerifyMode();
  context->fVerifyDirs = options.VerifyDirs();
  context->fVerifyHostName = options.VerifyHostName();
  context->fCipherList = options.CipherList();
  context->fVerifyOn = static_cast<bool>(OnVerifyPeer);
  context->fStatusInfoOn = static_cast<bool>(OnStatusInfo);
  context->fMethod = options.Method();
  context->fMode = options.Mode();
  context->InitContext(sslCtxClient);
  fSSLContext = std::move(context);
}

void TQxSSLIOHandlerSocketOpenSSL::OpenEncodedConnection() {
  if (fSSLSocket)
    throw EQxOSSLConnectError(
        u"Error connecting with SSL.\r\nTLS has already been started on this connection");
  auto socket = std::make_unique<TQxSSLSocket>(this, fSSLContext.get());
  // Bounds the handshake, and later every TLS transfer, by ReadTimeout; with
  // none set the handshake waits for the peer as a plain read does.
  SetSocketTimeouts(Binding()->Handle(), ReadTimeout());
  fVerifyFailure.clear();
  std::u16string status;
  try {
    status = socket->Connect(Binding()->Handle());
  } catch (...) {
    fVerifyFailure = socket->VerifyFailure();
    throw;
  }
  fSSLSocket = std::move(socket);
  if (OnStatusInfo) OnStatusInfo(status);
}

void TQxSSLIOHandlerSocketOpenSSL::SetPassThrough(bool AValue) {
  if (AValue == fPassThrough) return;
  if (BindingAllocated()) {
    if (AValue) {
      SetSocketTimeouts(Binding()->Handle(), 0);
    } else {
      if (!fSSLContext) throw EQxOSSLCouldNotLoadSSLLibrary();
      OpenEncodedConnection();
    }
  }
  fPassThrough = AValue;
}

void TQxSSLIOHandlerSocketOpenSSL::Close() {
  fSSLSocket.reset();
  if (!fIsPeer) fSSLContext.reset();
  TQxSSLIOHandlerSocketBase::Close();
}

bool TQxSSLIOHandlerSocketOpenSSL::Readable(int AMSec) {
  if (fPassThrough || !fSSLSocket || !Binding() || !BindingAllocated())
    return TQxSSLIOHandlerSocketBase::Readable(AMSec);
  // Bytes held inside the session count; records without data do not. The
  // wait is AMSec in all; a negative AMSec is the caller's "no limit".
  using clock = std::chrono::steady_clock;
  const bool unlimited = AMSec < 0;
  const auto deadline = clock::now() + std::chrono::milliseconds(unlimited ? 0 : AMSec);
  for (;;) {
    // Bytes OpenSSL read ahead do not show on the socket.
    if (fSSLSocket->HasBufferedInput() && fSSLSocket->HasApplicationData()) return true;
    int wait = AMSec;
    if (!unlimited) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
      wait = left > 0 ? static_cast<int>(left) : 0;
    }
    if (!TQxSSLIOHandlerSocketBase::Readable(wait)) return false;
    if (fSSLSocket->HasApplicationData()) return true;
    if (!unlimited && clock::now() >= deadline) return false;
  }
}

int TQxSSLIOHandlerSocketOpenSSL::ReceiveChunk(char* VBuffer, int ASize) {
  if (fPassThrough) return TQxSSLIOHandlerSocketBase::ReceiveChunk(VBuffer, ASize);
  if (!fSSLSocket) {
    WSSetLastError(socket_error::NotConnected);
    return -1;
  }
  return fSSLSocket->Recv(VBuffer, ASize);
}

int TQxSSLIOHandlerSocketOpenSSL::SendChunk(const TQxBytes& ABuffer, int AOffset, int ALength) {
  if (fPassThrough) return TQxSSLIOHandlerSocketBase::SendChunk(ABuffer, AOffset, ALength);
  if (AOffset < 0 || static_cast<size_t>(AOffset) >= ABuffer.size()) return 0;
  const int length = std::min<int>(ALength, static_cast<int>(ABuffer.size()) - AOffset);
  if (length <= 0) return 0;
  if (!fSSLSocket) {
    WSSetLastError(socket_error::NotConnected);
    return -1;
  }
  return fSSLSocket->Send(ABuffer.data(), AOffset, length);
}

}  // namespace quorvex
