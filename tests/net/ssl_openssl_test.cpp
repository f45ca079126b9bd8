#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "net/net_errors.h"
#include "net/openssl_library.h"
#include "net/socket_error.h"
#include "net/ssl_errors.h"
#include "net/ssl_openssl.h"
#include "net/tcp_client.h"
#include "platform/text.h"
#include "support/line_cases.h"
#include "support/loopback.h"
#include "support/raises.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"
#include "support/tls_server.h"

namespace quorvex {
namespace {

using test::TTlsServer;
using test::TTlsServerOptions;

// A handler that starts plain, as the mail session does, connected to the
// test server; it records what OnStatusInfo reports.
struct TClient {
  std::unique_ptr<TQxSSLIOHandlerSocketOpenSSL> Handler =
      std::make_unique<TQxSSLIOHandlerSocketOpenSSL>();
  std::vector<std::u16string> Status;

  explicit TClient(const TTlsServer& AServer, bool APassThrough = true, int AReadTimeout = 5000) {
    Handler->SetPassThrough(APassThrough);
    Handler->SetHost(u"127.0.0.1");
    Handler->SetPort(AServer.Port());
    Handler->SetReadTimeout(AReadTimeout);
    Handler->OnStatusInfo = [this](const std::u16string& AMsg) { Status.push_back(AMsg); };
  }
  int CipherReports() const {
    int count = 0;
    for (const auto& s : Status) count += s.rfind(u"Cipher: ", 0) == 0 ? 1 : 0;
    return count;
  }
};

std::string Text(const std::u16string& AText) { return toUtf8(AText); }

TEST(TlsHandler, PlainExchangeThenStartTls) {
  TTlsServer server(
      {"S:220 ready", "C:STARTTLS", "S:220 go ahead", "T:", "C:EHLO tls", "S:250 ok", "E:"});
  TClient client(server);
  client.Handler->Open();
  EXPECT_EQ(client.Handler->ReadLn(), u"220 ready");
  client.Handler->WriteLn(u"STARTTLS");
  EXPECT_EQ(client.Handler->ReadLn(), u"220 go ahead");
  EXPECT_EQ(client.Handler->SSLSocket(), nullptr);

  client.Handler->SetPassThrough(false);
  EXPECT_FALSE(client.Handler->PassThrough());
  client.Handler->WriteLn(u"EHLO tls");
  EXPECT_EQ(client.Handler->ReadLn(), u"250 ok");

  // The highest version both sides speak, and never below TLS 1.2.
  const std::string protocol = Text(client.Handler->SSLSocket()->ProtocolVersion());
  EXPECT_THAT(protocol, ::testing::AnyOf("TLSv1.2", "TLSv1.3"));
  ASSERT_EQ(client.CipherReports(), 1);
  std::string status;
  for (const auto& s : client.Status)
    if (s.rfind(u"Cipher: ", 0) == 0) status = Text(s);
  EXPECT_TRUE(std::regex_match(
      status, std::regex(R"(Cipher: name = [A-Z0-9_-]+; description = [^]+; bits = [0-9]+; )"
                         R"(version = TLSv1\.[23]; )")))
      << status;
  // The info callback reports the handshake's states too.
  EXPECT_EQ(Text(client.Status.front()).rfind("SSL status: \"", 0), 0u);

  client.Handler.reset();  // one close alert, then the socket closes
  EXPECT_EQ(server.Wait(), "");
  EXPECT_EQ(server.Protocol(), protocol);
  EXPECT_EQ(server.CloseAlerts(), 1);
  EXPECT_EQ(server.Received(), (std::vector<std::string>{"STARTTLS", "EHLO tls"}));
}

TEST(TlsHandler, ProtocolVersions) {
  struct TCase {
    const char* Name;
    int ServerMin, ServerMax;
    const char* Expected;  // "" when the handshake must be refused
    // The client's cipher list; security level 0 would let OpenSSL itself
    // speak TLS 1.0 and 1.1, so only the handler's minimum version refuses.
    const char* ClientCiphers = "";
  } cases[] = {
      {"TLS 1.0 only", TLS1_VERSION, TLS1_VERSION, ""},
      {"TLS 1.0 and 1.1", TLS1_VERSION, TLS1_1_VERSION, ""},
      {"up to TLS 1.2", TLS1_VERSION, TLS1_2_VERSION, "TLSv1.2"},
      {"TLS 1.3 only", TLS1_3_VERSION, TLS1_3_VERSION, "TLSv1.3"},
      {"any", 0, 0, "TLSv1.3"},
      {"TLS 1.0 only, client at level 0", TLS1_VERSION, TLS1_VERSION, "", "ALL:@SECLEVEL=0"},
      {"TLS 1.1 only, client at level 0", TLS1_1_VERSION, TLS1_1_VERSION, "", "ALL:@SECLEVEL=0"},
      {"up to TLS 1.2, client at level 0", TLS1_VERSION, TLS1_2_VERSION, "TLSv1.2",
       "ALL:@SECLEVEL=0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TTlsServerOptions options;
    options.MinVersion = c.ServerMin;
    options.MaxVersion = c.ServerMax;
    const bool refused = std::string(c.Expected).empty();
    TTlsServer server(
        refused ? std::vector<std::string>{"T:"} : std::vector<std::string>{"T:", "S:hello", "E:"},
        options);
    TClient client(server);
    client.Handler->SSLOptions().SetCipherList(c.ClientCiphers);
    client.Handler->Open();
    if (refused) {
      try {
        client.Handler->SetPassThrough(false);
        ADD_FAILURE() << "handshake accepted";
      } catch (const EQxOpenSSLError& e) {
        // OpenSSL's reason names the cause: no protocol both sides allow.
        EXPECT_THAT(Text(e.Message()),
                    ::testing::MatchesRegex("Error connecting with SSL\\.\r\nerror:.*protocol.*"));
      }
      // The caller decides what follows: the socket stays open.
      EXPECT_TRUE(client.Handler->PassThrough());
      EXPECT_TRUE(client.Handler->BindingAllocated());
      EXPECT_EQ(client.Handler->SSLSocket(), nullptr);
      client.Handler.reset();
      EXPECT_NE(server.Wait(), "");  // the server saw the handshake fail
    } else {
      client.Handler->SetPassThrough(false);
      EXPECT_EQ(client.Handler->ReadLn(), u"hello");
      EXPECT_EQ(Text(client.Handler->SSLSocket()->ProtocolVersion()), c.Expected);
      client.Handler.reset();
      EXPECT_EQ(server.Wait(), "");
      EXPECT_EQ(server.Protocol(), c.Expected);
    }
  }
}

TEST(TlsHandler, PeerClosingOnClientHello) {
  TTlsServerOptions options;
  options.CloseOnClientHello = true;
  TTlsServer server({"S:220 ready", "T:"}, options);
  TClient client(server);
  client.Handler->Open();
  EXPECT_EQ(client.Handler->ReadLn(), u"220 ready");
  try {
    client.Handler->SetPassThrough(false);
    FAIL() << "handshake accepted";
  } catch (const EQxOSSLConnectError& e) {
    EXPECT_EQ(Text(e.Message()),
              "Error connecting with SSL.\r\nEOF was observed that violates the protocol");
    EXPECT_EQ(e.ErrorCode(), 5);
    EXPECT_EQ(e.RetCode(), 0);
  }
  EXPECT_TRUE(client.Handler->PassThrough());
  EXPECT_EQ(server.Wait(), "");
}

TEST(TlsHandler, PeerCloseAlertEndsReadingGracefully) {
  TTlsServer server({"T:", "S:last line", "A:", "E:"});
  TClient client(server, false);  // handshake right after the connect
  int beforeConnect = 0;
  client.Handler->OnBeforeConnect = [&](TQxIOHandler&) {
    ++beforeConnect;
    EXPECT_TRUE(client.Status.empty());  // fired between the TCP connect and the handshake
  };
  client.Handler->Open();
  EXPECT_EQ(beforeConnect, 1);
  EXPECT_FALSE(client.Handler->PassThrough());
  EXPECT_EQ(client.Handler->ReadLn(), u"last line");
  EXPECT_THROW(client.Handler->ReadLn(), EQxConnClosedGracefully);
  EXPECT_TRUE(client.Handler->ClosedGracefully());
  EXPECT_FALSE(client.Handler->Connected());
  client.Handler.reset();
  EXPECT_EQ(server.Wait(), "");
}

TEST(TlsHandler, CloseAndDestroySendOneAlertWithoutWaiting) {
  for (const bool destroy : {true, false}) {
    SCOPED_TRACE(destroy ? "destroy" : "Close");
    // The server never answers the alert: a client waiting for the peer's
    // would hang until the server's step time-out.
    TTlsServerOptions options;
    options.StepTimeoutMs = 8000;
    TTlsServer server({"T:", "E:"}, options);
    TClient client(server, false);
    client.Handler->Open();
    const auto start = std::chrono::steady_clock::now();
    if (destroy) {
      client.Handler.reset();
    } else {
      client.Handler->Close();
      EXPECT_FALSE(client.Handler->BindingAllocated());
      EXPECT_EQ(client.Handler->SSLSocket(), nullptr);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_EQ(server.Wait(), "");
    EXPECT_EQ(server.CloseAlerts(), 1);
  }
}

TEST(TlsHandler, WithoutTheLibraryPlainWorksAndTlsIsRefused) {
  TQxOpenSSLLibrary missing("/nonexistent dir/libssl-missing.so.3",
                            "/nonexistent dir/libcrypto-missing.so.3");
  {
    TTlsServer server({"S:220 plain", "C:NOOP", "S:250 still plain", "E:"});
    TClient client(server);
    client.Handler->SetSSLLibrary(missing);
    client.Handler->Open();  // the missing library is no concern of a plain connection
    EXPECT_EQ(client.Handler->SSLContext(), nullptr);
    EXPECT_EQ(client.Handler->ReadLn(), u"220 plain");
    client.Handler->WriteLn(u"NOOP");
    EXPECT_EQ(client.Handler->ReadLn(), u"250 still plain");
    EXPECT_EQ(Text(test::MessageOf<EQxOSSLCouldNotLoadSSLLibrary>(
                  [&] { client.Handler->SetPassThrough(false); })),
              "Could not load SSL library.");
    EXPECT_TRUE(client.Handler->PassThrough());
    EXPECT_FALSE(missing.Loaded());
    client.Handler.reset();
    EXPECT_EQ(server.Wait(), "");
  }
  {
    // A handler that must handshake at connect reports it at once.
    TTlsServer server({"E:"});
    TClient client(server, false);
    client.Handler->SetSSLLibrary(missing);
    EXPECT_THROW(client.Handler->Open(), EQxOSSLCouldNotLoadSSLLibrary);
  }
}

TEST(TlsHandler, SwitchingTwiceRunsOneHandshake) {
  TTlsServer server({"T:", "C:after", "S:done", "E:"});
  TClient client(server);
  client.Handler->Open();
  client.Handler->SetPassThrough(false);
  client.Handler->SetPassThrough(false);
  EXPECT_EQ(client.CipherReports(), 1);
  client.Handler->WriteLn(u"after");
  EXPECT_EQ(client.Handler->ReadLn(), u"done");
  // A second handshake on the same connection is refused.
  client.Handler->SetPassThrough(true);
  EXPECT_THROW(client.Handler->SetPassThrough(false), EQxOSSLConnectError);
  EXPECT_TRUE(client.Handler->PassThrough());
  client.Handler.reset();
  EXPECT_EQ(server.Wait(), "");
}

// The way the mail path uses it: a client connection with the handler
// attached, switched to TLS after a plain exchange.
TEST(TlsHandler, ThroughATcpClient) {
  TTlsServer server({"S:220 ready", "T:", "C:QUIT", "S:221 bye", "A:", "E:"});
  TQxTCPClientCustom client;
  TQxSSLIOHandlerSocketOpenSSL handler;
  handler.SetPassThrough(true);
  client.SetIOHandler(&handler);
  client.SetReadTimeout(5000);
  client.Connect(u"127.0.0.1", server.Port());
  EXPECT_EQ(client.IOHandler()->ReadLn(), u"220 ready");
  handler.SetPassThrough(false);
  client.IOHandler()->WriteLn(u"QUIT");
  EXPECT_EQ(client.IOHandler()->ReadLn(), u"221 bye");
  EXPECT_THROW(client.IOHandler()->ReadLn(), EQxConnClosedGracefully);
  EXPECT_FALSE(client.Connected());
  client.SetIOHandler(nullptr);
  EXPECT_EQ(server.Wait(), "");
}

TEST(TlsHandler, WritingToAPeerThatLeftRaisesWithoutSignal) {
  TTlsServer server({"T:", "X:"});
  TClient client(server);
  client.Handler->Open();
  client.Handler->SetPassThrough(false);
  EXPECT_EQ(server.Wait(), "");
  // SIGPIPE keeps its default action here: a raw write would end the test.
  int socketErrors = 0;
  for (int i = 0; i < 1000 && socketErrors == 0; ++i) {
    try {
      client.Handler->WriteLn(u"a line for nobody " + fromUtf8(std::string(80, 'x')));
    } catch (const EQxSocketError& e) {
      ++socketErrors;
      EXPECT_THAT(e.LastError(),
                  ::testing::AnyOf(socket_error::ConnectionReset, socket_error::Shutdown,
                                   socket_error::ConnectionAborted));
    }
  }
  EXPECT_EQ(socketErrors, 1);
  EXPECT_FALSE(client.Handler->BindingAllocated());
}

TEST(TlsHandler, HandshakeBoundedByReadTimeout) {
  TTlsServerOptions options;
  options.StallOnClientHello = true;
  TTlsServer server({"T:"}, options);
  TClient client(server, true, 300);
  client.Handler->Open();
  const auto start = std::chrono::steady_clock::now();
  try {
    client.Handler->SetPassThrough(false);
    FAIL() << "handshake completed";
  } catch (const EQxSocketError& e) {
    EXPECT_EQ(e.LastError(), socket_error::TimedOut);
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(250));
  EXPECT_LT(elapsed, std::chrono::seconds(4));
  EXPECT_TRUE(client.Handler->PassThrough());
  client.Handler.reset();
  EXPECT_EQ(server.Wait(), "");
}

TEST(TlsHandler, ContextOptions) {
  const auto& identity = test::TlsIdentityFiles();
  test::TempFolder temp{"quorvex tls"};
  const std::string garbage = temp.write("not a cert.pem", "not PEM at all\n");
  struct TCase {
    const char* Name;
    std::function<void(TQxSSLOptions&)> Set;
    const char* FirstLine;  // "" for a context that builds
    std::string Password = "";
  } cases[] = {
      {"defaults", [](TQxSSLOptions&) {}, ""},
      {"certificate and key",
       [&](TQxSSLOptions& o) {
         o.SetCertFile(fromUtf8(identity.CertFile));
         o.SetKeyFile(fromUtf8(identity.KeyFile));
       },
       ""},
      {"root certificate",
       [&](TQxSSLOptions& o) { o.SetRootCertFile(fromUtf8(identity.CertFile)); }, ""},
      {"missing root certificate",
       [&](TQxSSLOptions& o) { o.SetRootCertFile(temp.u16path("missing.pem")); },
       "Could not load root certificate."},
      {"garbage certificate", [&](TQxSSLOptions& o) { o.SetCertFile(fromUtf8(garbage)); },
       "Could not load certificate."},
      {"encrypted key, right password",
       [&](TQxSSLOptions& o) {
         o.SetCertFile(fromUtf8(identity.CertFile));
         o.SetKeyFile(fromUtf8(identity.EncryptedKeyFile));
       },
       "", "secret pass"},
      {"encrypted key, wrong password",
       [&](TQxSSLOptions& o) {
         o.SetCertFile(fromUtf8(identity.CertFile));
         o.SetKeyFile(fromUtf8(identity.EncryptedKeyFile));
       },
       "Could not load key, check password.", "secret"},
      {"key without its certificate",
       [&](TQxSSLOptions& o) { o.SetKeyFile(fromUtf8(identity.KeyFile)); },
       "Could not load key, check password."},
      {"cipher list refused", [](TQxSSLOptions& o) { o.SetCipherList("NO-SUCH-CIPHER"); },
       "SetCipher failed."},
      {"SSL 3 method", [](TQxSSLOptions& o) { o.SetMethod(sslvSSLv3); },
       "Error geting SSL method."},
      {"SSL 2 method", [](TQxSSLOptions& o) { o.SetMethod(sslvSSLv2); },
       "Error geting SSL method."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TTlsServer server({"E:"});
    TClient client(server);
    c.Set(client.Handler->SSLOptions());
    client.Handler->OnGetPassword = [&](std::string& VPassword) { VPassword = c.Password; };
    try {
      client.Handler->Open();  // a context that cannot be built fails even a plain connect
      EXPECT_STREQ(c.FirstLine, "");
      EXPECT_NE(client.Handler->SSLContext(), nullptr);
    } catch (const EQxOpenSSLError& e) {
      const std::string message = Text(e.Message());
      EXPECT_EQ(message.substr(0, message.find("\r\n")), c.FirstLine);
      // Errors from OpenSSL's queue carry its text on a second line.
      if (dynamic_cast<const EQxOpenSSLAPICryptoError*>(&e)) {
        EXPECT_THAT(message, ::testing::HasSubstr("\r\nerror:"));
      }
    }
  }
}

// The line reader gives the same lines over a TLS session whatever the chunk
// size, including sizes that leave part of a record inside the session.
TEST(TlsHandler, EveryChunkSizeGivesTheSameLines) {
  for (const auto& c : test::LineCases()) {
    for (int chunk : {1, 2, 3, 7, 64, 4096, 16383, 16384, 16385, 32768}) {
      SCOPED_TRACE(std::string(c.Name) + ", chunk " + std::to_string(chunk));
      std::vector<std::string> script = {"T:", "W:" + c.Input};
      if (c.CloseAtEnd) {
        script.insert(script.end(), {"A:", "X:"});
      } else {
        script.push_back("E:");
      }
      TTlsServer server(script);
      TClient client(server, false);
      client.Handler->SetMaxLineAction(c.Action);
      client.Handler->SetRecvBufferSize(chunk);
      client.Handler->Open();
      client.Handler->SetReadTimeout(100);  // how long the silent rows wait
      const test::TReadOutcome outcome = test::ReadLines(*client.Handler);
      EXPECT_EQ(outcome.End, c.End);
      EXPECT_EQ(outcome.Lines, c.Lines);
      if (!c.Split.empty()) {
        EXPECT_EQ(outcome.Split, c.Split);
      }
      client.Handler.reset();
      EXPECT_EQ(server.Wait(), "");
    }
  }
}

}  // namespace
}  // namespace quorvex

namespace quorvex {
namespace {

// The peer's certificate checked against a throwaway authority: the chain
// must lead to the trusted CA file and name the expected host.
TEST(TlsHandler, CertificateCheckNamesTheReasonOfARefusal) {
  const auto& ca = test::TlsCaFiles();
  const struct {
    const char* name;
    bool verify;
    std::string caFile;
    std::string host;
    std::string failure;  // empty: the handshake succeeds
    // The system's trust store as this test sets it up (SSL_CERT_FILE, and an
    // empty SSL_CERT_DIR); empty: the machine's own.
    std::string systemStore = "";
  } cases[] = {
      {"right CA and host", true, ca.CaFile, "localhost", ""},
      {"wrong CA", true, ca.OtherCaFile, "localhost", "unable to get local issuer certificate"},
      {"no CA file: the system's store knows no test CA", true, "", "localhost",
       "unable to get local issuer certificate"},
      {"wrong host", true, ca.CaFile, "mail.example.test", "hostname mismatch"},
      {"an address is not the name", true, ca.CaFile, "127.0.0.1", "IP address mismatch"},
      {"no check asked for", false, ca.OtherCaFile, "mail.example.test", ""},
      {"no CA file: the system's store holds the CA", true, "", "localhost", "", ca.CaFile},
      {"no CA file: the system's store holds another CA", true, "", "localhost",
       "unable to get local issuer certificate", ca.OtherCaFile},
  };
  test::TempFolder emptyDir{"quorvex trust"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<test::ScopedEnv> storeFile, storeDir;
    if (!c.systemStore.empty()) {
      storeFile.emplace("SSL_CERT_FILE", c.systemStore);
      storeDir.emplace("SSL_CERT_DIR", emptyDir.path().string());
    }
    TTlsServerOptions options;
    options.CaSigned = true;
    TTlsServer server(c.failure.empty() ? std::vector<std::string>{"T:", "S:220 ready", "E:"}
                                        : std::vector<std::string>{"T:"},
                      options);
    TClient client(server, false);
    if (c.verify) {
      client.Handler->SSLOptions().SetVerifyMode(sslvrfPeer);
      client.Handler->SSLOptions().SetRootCertFile(fromUtf8(c.caFile));
      client.Handler->SSLOptions().SetVerifyHostName(c.host);
    }
    if (c.failure.empty()) {
      client.Handler->Open();
      EXPECT_EQ(Text(client.Handler->ReadLn()), "220 ready");
      EXPECT_EQ(client.Handler->VerifyFailure(), u"");
      client.Handler->Close();
    } else {
      EXPECT_THROW(client.Handler->Open(), EQxException);
      EXPECT_EQ(Text(client.Handler->VerifyFailure()), c.failure);
    }
    server.Wait();
  }
}

// OnVerifyPeer sees every certificate of the chain, with the verdict that
// VerifyDepth adds to OpenSSL's, and its answer is the one that counts.
TEST(TlsHandler, VerifyPeerEventDecides) {
  const auto& ca = test::TlsCaFiles();
  struct TCall {
    int depth;
    bool ok;
    bool operator==(const TCall&) const = default;
  };
  const struct {
    const char* name;
    std::string caFile;
    int verifyDepth;
    std::function<bool(bool AOk)> answer;
    std::vector<TCall> calls;  // the first calls of the event, top of the chain first
    bool accepted;
  } cases[] = {
      {"chain within the depth",
       ca.CaFile,
       1,
       [](bool ok) { return ok; },
       {{1, true}, {0, true}},
       true},
      {"CA past the depth", ca.CaFile, 0, [](bool ok) { return ok; }, {{1, false}}, false},
      {"CA past the depth, event accepts",
       ca.CaFile,
       0,
       [](bool) { return true; },
       {{1, false}, {0, true}},
       true},
      {"good chain, event refuses", ca.CaFile, 1, [](bool) { return false; }, {{1, true}}, false},
      {"unknown CA, event accepts",
       ca.OtherCaFile,
       1,
       [](bool) { return true; },
       {{0, false}},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TTlsServerOptions options;
    options.CaSigned = true;
    TTlsServer server(c.accepted ? std::vector<std::string>{"T:", "S:220 ready", "E:"}
                                 : std::vector<std::string>{"T:"},
                      options);
    TClient client(server, false);
    TQxSSLOptions& tls = client.Handler->SSLOptions();
    tls.SetVerifyMode(sslvrfPeer);
    tls.SetRootCertFile(fromUtf8(c.caFile));
    tls.SetVerifyDepth(c.verifyDepth);
    std::vector<TCall> calls;
    client.Handler->OnVerifyPeer = [&](TQxX509&, bool AOk, int ADepth) {
      calls.push_back({ADepth, AOk});
      return c.answer(AOk);
    };
    if (c.accepted) {
      client.Handler->Open();
      EXPECT_EQ(Text(client.Handler->ReadLn()), "220 ready");
      client.Handler->Close();
    } else {
      EXPECT_THROW(client.Handler->Open(), EQxException);
    }
    std::string seen;
    for (const auto& call : calls)
      seen += std::to_string(call.depth) + (call.ok ? " ok; " : " refused; ");
    EXPECT_TRUE(calls.size() >= c.calls.size() &&
                std::equal(c.calls.begin(), c.calls.end(), calls.begin()))
        << seen;
    server.Wait();
  }
}

// Without a cipher list of its own the context offers the handler's
// default: AES first, then everything with authentication and encryption,
// strongest first.
TEST(TlsHandler, DefaultCipherList) {
  TTlsServer server({"E:"});
  TClient client(server);
  client.Handler->Open();
  ASSERT_NE(client.Handler->SSLContext(), nullptr);
  auto names = [](SSL_CTX* AContext) {
    std::vector<std::string> result;
    STACK_OF(SSL_CIPHER)* ciphers = SSL_CTX_get_ciphers(AContext);
    for (int i = 0; i < sk_SSL_CIPHER_num(ciphers); ++i)
      result.push_back(SSL_CIPHER_get_name(sk_SSL_CIPHER_value(ciphers, i)));
    return result;
  };
  SSL_CTX* expected = SSL_CTX_new(TLS_client_method());
  ASSERT_EQ(SSL_CTX_set_cipher_list(expected, "AES:ALL:!aNULL:!eNULL:+RC4:@STRENGTH"), 1);
  const std::vector<std::string> offered = names(client.Handler->SSLContext()->Context());
  EXPECT_EQ(offered, names(expected));
  SSL_CTX_free(expected);
  for (const auto& name : offered) {
    EXPECT_EQ(name.find("NULL"), std::string::npos) << name;
    EXPECT_NE(name.rfind("ADH-", 0), 0u) << name;
  }
  client.Handler.reset();
  EXPECT_EQ(server.Wait(), "");
}

// The plain and TLS states of one handler: the socket's time-outs, the
// pass-through setting across a failed connect, and the context's life.
TEST(TlsHandler, StateAcrossSwitchesConnectsAndCloses) {
  auto timeouts = [](const TQxSSLIOHandlerSocketOpenSSL& AHandler) {
    timeval receive{}, send{};
    socklen_t length = sizeof receive;
    ::getsockopt(AHandler.Binding()->Handle(), SOL_SOCKET, SO_RCVTIMEO, &receive, &length);
    length = sizeof send;
    ::getsockopt(AHandler.Binding()->Handle(), SOL_SOCKET, SO_SNDTIMEO, &send, &length);
    return std::pair<long, long>(receive.tv_sec * 1000 + receive.tv_usec / 1000,
                                 send.tv_sec * 1000 + send.tv_usec / 1000);
  };
  {
    SCOPED_TRACE("back to pass-through: no time-outs left on the socket");
    TTlsServer server({"T:", "E:"});
    TClient client(server, true, 3000);
    client.Handler->Open();
    client.Handler->SetPassThrough(false);
    EXPECT_EQ(timeouts(*client.Handler), (std::pair<long, long>(3000, 3000)));
    client.Handler->SetPassThrough(true);
    EXPECT_EQ(timeouts(*client.Handler), (std::pair<long, long>(0, 0)));
    client.Handler.reset();
    server.Wait();
  }
  {
    SCOPED_TRACE("a refused TCP connect leaves pass-through as it was");
    TUniqueFd unused = test::LoopbackSocket(AF_INET, -1);  // bound, not listening
    for (bool passThrough : {false, true}) {
      TQxSSLIOHandlerSocketOpenSSL handler;
      handler.SetPassThrough(passThrough);
      handler.SetHost(u"127.0.0.1");
      handler.SetPort(test::LocalPort(unused.get()));
      EXPECT_THROW(handler.Open(), EQxSocketError);
      EXPECT_EQ(handler.PassThrough(), passThrough);
    }
  }
  {
    SCOPED_TRACE("Close frees the context");
    TTlsServer server({"E:"});
    TClient client(server);
    client.Handler->Open();
    EXPECT_NE(client.Handler->SSLContext(), nullptr);
    client.Handler->Close();
    EXPECT_EQ(client.Handler->SSLContext(), nullptr);
    server.Wait();
  }
}

}  // namespace
}  // namespace quorvex
