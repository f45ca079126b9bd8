#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/buffer.h"
#include "net/component.h"
#include "platform/text_encoding.h"

namespace quorvex {

enum TQxMaxLineAction { maException, maSplit };

using TQxStrings = std::vector<std::u16string>;

// The object a connection reads and writes through: connection state, the
// input buffer with line reading, text and byte writes with optional write
// buffering. Subclasses supply the transport (ReceiveChunk, SendChunk,
// Readable, CheckForDisconnect).
class TQxIOHandler : public TQxComponent {
 public:
  TQxIOHandler();
  ~TQxIOHandler() override;

  // --- connection state ---
  virtual void Open();
  virtual void Close();
  virtual bool Connected();
  // Notices a peer close; raises EQxConnClosedGracefully when asked and
  // nothing is left to read (or AIgnoreBuffer).
  virtual void CheckForDisconnect(bool ARaiseExceptionIfDisconnected = true,
                                  bool AIgnoreBuffer = false) = 0;
  // True when data or a peer close can be read within AMSec (-1: no limit).
  virtual bool Readable(int AMSec = -1) = 0;
  void CloseGracefully() { FClosedGracefully = true; }
  bool Opened() const { return FOpened; }
  bool ClosedGracefully() const { return FClosedGracefully; }

  const std::u16string& Host() const { return FHost; }
  void SetHost(const std::u16string& AValue) { FHost = AValue; }
  int Port() const { return FPort; }
  void SetPort(int AValue) { FPort = AValue; }
  const std::u16string& Destination() const { return FDestination; }
  // "host:port"; an unreadable port gives DefaultPort.
  void SetDestination(const std::u16string& AValue);
  virtual int DefaultPort() const { return 0; }
  int ConnectTimeout() const { return FConnectTimeout; }
  void SetConnectTimeout(int AValue) { FConnectTimeout = AValue; }
  int ReadTimeout() const { return FReadTimeOut; }
  void SetReadTimeout(int AValue) { FReadTimeOut = AValue; }

  // --- reading ---
  // One line without its terminator (LF by default; a CR before an LF
  // terminator is dropped too). ATimeout -1 leaves each wait to ReadTimeout;
  // a time-out returns "" with ReadLnTimedOut set and keeps the partial line
  // buffered. AMaxLineLength -1 means MaxLineLength.
  std::u16string ReadLn(const TEncoding* AEncoding = nullptr);
  std::u16string ReadLn(const std::u16string& ATerminator, const TEncoding* AEncoding = nullptr);
  std::u16string ReadLn(const std::u16string& ATerminator, int ATimeout, int AMaxLineLength = -1,
                        const TEncoding* AEncoding = nullptr);
  // ReadLn with maSplit for this call only.
  std::u16string ReadLnSplit(bool& AWasSplit, const std::u16string& ATerminator = u"\n",
                             int ATimeout = -1, int AMaxLineLength = -1,
                             const TEncoding* AEncoding = nullptr);
  // The first line that is not blank, trimmed; at most AFailCount blank lines.
  std::u16string ReadLnWait(int AFailCount = 2147483647, const TEncoding* AEncoding = nullptr);
  // Exactly AByteCount bytes; a negative count takes whatever one wait brings.
  void ReadBytes(TQxBytes& VBuffer, int AByteCount, bool AAppend = true);
  bool CheckForDataOnSource(int ATimeout = 0);
  bool InputBufferIsEmpty() const { return FInputBuffer->Size() == 0; }
  std::u16string InputBufferAsString(const TEncoding* AEncoding = nullptr);
  TQxBuffer& InputBuffer() { return *FInputBuffer; }

  // --- writing (text goes out in DefStringEncoding unless one is given) ---
  void Write(const std::u16string& AOut, const TEncoding* AEncoding = nullptr);
  void WriteLn(const TEncoding* AEncoding = nullptr);
  void WriteLn(const std::u16string& AOut, const TEncoding* AEncoding = nullptr);
  // A line with a leading dot doubled, as mail bodies need.
  void WriteLnRFC(const std::u16string& AOut, const TEncoding* AEncoding = nullptr);
  void WriteRFCStrings(const TQxStrings& AStrings, bool AWriteTerminator = true,
                       const TEncoding* AEncoding = nullptr);
  // Every line with CR LF, sent as one block (optionally after the line
  // count as a 4-byte big-endian integer).
  void Write(const TQxStrings& AValue, bool AWriteLinesCount = false,
             const TEncoding* AEncoding = nullptr);
  // ALength -1: to the end of ABuffer.
  void Write(const TQxBytes& ABuffer, int ALength = -1, int AOffset = 0);
  void WriteDirect(const TQxBytes& ABuffer, int ALength = -1, int AOffset = 0);

  void WriteBufferOpen(int AThreshold = -1);
  void WriteBufferFlush(int AByteCount = -1);
  void WriteBufferClose();
  void WriteBufferCancel();
  void WriteBufferClear();
  bool WriteBufferingActive() const { return FWriteBuffer != nullptr; }

  // --- settings ---
  int MaxLineLength() const { return FMaxLineLength; }
  void SetMaxLineLength(int AValue) { FMaxLineLength = AValue; }
  TQxMaxLineAction MaxLineAction() const { return FMaxLineAction; }
  void SetMaxLineAction(TQxMaxLineAction AValue) { FMaxLineAction = AValue; }
  int RecvBufferSize() const { return FRecvBufferSize; }
  void SetRecvBufferSize(int AValue) { FRecvBufferSize = AValue; }
  int SendBufferSize() const { return FSendBufferSize; }
  void SetSendBufferSize(int AValue) { FSendBufferSize = AValue; }
  bool ReadLnSplit() const { return FReadLnSplit; }
  bool ReadLnTimedOut() const { return FReadLnTimedOut; }
  const TEncoding& DefStringEncoding() const { return *FDefStringEncoding; }
  // Null means ASCII.
  void SetDefStringEncoding(const TEncoding* AValue);

 protected:
  // Waits for and takes in one chunk. Returns the byte count, 0 when nothing
  // came (peer closed), -1 on a time-out without exception. ATimeout -1 means
  // ReadTimeout.
  int FillInputBuffer(bool ARaiseExceptionIfDisconnected = true, int ATimeout = -1,
                      bool ARaiseExceptionOnTimeout = true);
  // The transport. SourceIsAvailable: a live socket exists. ReceiveChunk: at
  // most ASize bytes into VBuffer, 0 for a peer close, negative for a failure
  // whose socket error is in errno. SendChunk: the bytes accepted, 0 for a
  // peer close, negative for a failure as for ReceiveChunk.
  virtual bool SourceIsAvailable() = 0;
  virtual int ReceiveChunk(char* VBuffer, int ASize) = 0;
  virtual int SendChunk(const TQxBytes& ABuffer, int AOffset, int ALength) = 0;

  const TEncoding& EncodingOr(const TEncoding* AEncoding) const {
    return AEncoding ? *AEncoding : *FDefStringEncoding;
  }

  std::u16string FHost;
  int FPort = 0;
  std::u16string FDestination;
  int FConnectTimeout = 0;
  int FReadTimeOut = -1;
  bool FOpened = false;
  bool FClosedGracefully = false;

 private:
  std::unique_ptr<TQxBuffer> FInputBuffer;
  std::unique_ptr<TQxBuffer> FWriteBuffer;
  TQxBytes FRecvChunk;  // reused for every receive
  int FWriteBufferThreshold = 0;
  int FRecvBufferSize = 32768;
  int FSendBufferSize = 32768;
  int FMaxLineLength = 16384;
  TQxMaxLineAction FMaxLineAction = maException;
  bool FReadLnSplit = false;
  bool FReadLnTimedOut = false;
  const TEncoding* FDefStringEncoding = &TEncoding::ASCII();
};

}  // namespace quorvex
