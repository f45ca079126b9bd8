#include "net/io_handler.h"

#include <algorithm>

#include "net/net_errors.h"
#include "net/socket_error.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace quorvex {

namespace {

// The part of ABuffer from AOffset on, at most ALength bytes (-1: all).
std::string_view Clip(const TQxBytes& ABuffer, int ALength, int AOffset) {
  if (AOffset < 0 || static_cast<size_t>(AOffset) >= ABuffer.size()) return {};
  std::string_view rest = std::string_view(ABuffer).substr(AOffset);
  return ALength < 0 ? rest : rest.substr(0, static_cast<size_t>(ALength));
}

}  // namespace

TQxIOHandler::TQxIOHandler()
    : FInputBuffer(std::make_unique<TQxBuffer>(
          [this](TQxBuffer&, int AByteCount) { DoWork(wmRead, AByteCount); })) {}

TQxIOHandler::~TQxIOHandler() = default;

// --- connection state ---

void TQxIOHandler::Open() {
  FOpened = false;
  FClosedGracefully = false;
  WriteBufferClear();
  FInputBuffer->Clear();
  FOpened = true;
}

void TQxIOHandler::Close() {
  FOpened = false;
  WriteBufferClear();
}

bool TQxIOHandler::Connected() {
  CheckForDisconnect(false, false);
  return FOpened && (!FClosedGracefully || !InputBufferIsEmpty());
}

void TQxIOHandler::SetDestination(const std::u16string& AValue) {
  FDestination = AValue;
  const size_t colon = AValue.rfind(u':');
  if (colon == std::u16string::npos) {
    FHost = AValue;
    return;
  }
  FHost = AValue.substr(0, colon);
  const std::u16string port = Trim(AValue.substr(colon + 1));
  const auto value =
      port.size() <= 9 ? ParseWholeNumber(port, 0, 999'999'999, false) : std::nullopt;
  FPort = value ? static_cast<int>(*value) : DefaultPort();
}

void TQxIOHandler::SetDefStringEncoding(const TEncoding* AValue) {
  FDefStringEncoding = AValue ? AValue : &TEncoding::ASCII();
}

// --- reading ---

int TQxIOHandler::FillInputBuffer(bool ARaiseExceptionIfDisconnected, int ATimeout,
                                  bool ARaiseExceptionOnTimeout) {
  if (ATimeout == -1) ATimeout = (FReadTimeOut != -1 && FReadTimeOut != 0) ? FReadTimeOut : -2;
  CheckForDisconnect(ARaiseExceptionIfDisconnected, false);
  if (!SourceIsAvailable()) {
    if (ARaiseExceptionIfDisconnected) throw EQxException(u"Not Connected");
    return 0;
  }
  int count;
  do {
    // Bounded by ATimeout; -2 (no ReadTimeout) waits as long as the peer does.
    if (!Readable(ATimeout)) {
      if (ARaiseExceptionOnTimeout) throw EQxReadTimeout();
      return -1;
    }
    if (FOpened) {
      if (!SourceIsAvailable()) throw EQxClosedSocket();
      if (FRecvChunk.size() != static_cast<size_t>(FRecvBufferSize))
        FRecvChunk.resize(std::max(FRecvBufferSize, 1));
      count = ReceiveChunk(FRecvChunk.data(), static_cast<int>(FRecvChunk.size()));
      if (count > 0) FInputBuffer->Write(std::string_view(FRecvChunk.data(), count));
    } else {
      count = 0;
      if (ARaiseExceptionIfDisconnected) throw EQxNotConnected();
    }
    if (count < 0) {
      const int err =
          CheckForSocketError(-1, {socket_error::Shutdown, socket_error::ConnectionAborted});
      FClosedGracefully = true;
      Close();
      if (InputBufferIsEmpty()) RaiseSocketError(err);
      count = 0;
    }
    if (count == 0) FClosedGracefully = true;
    CheckForDisconnect(ARaiseExceptionIfDisconnected, false);
  } while (count == 0 && SourceIsAvailable());
  return count;
}

std::u16string TQxIOHandler::ReadLn(const TEncoding* AEncoding) {
  return ReadLn(u"\n", -1, -1, AEncoding);
}

std::u16string TQxIOHandler::ReadLn(const std::u16string& ATerminator, const TEncoding* AEncoding) {
  return ReadLn(ATerminator, -1, -1, AEncoding);
}

std::u16string TQxIOHandler::ReadLn(const std::u16string& ATerminator, int ATimeout,
                                    int AMaxLineLength, const TEncoding* AEncoding) {
  const TEncoding& encoding = EncodingOr(AEncoding);
  if (AMaxLineLength < 0) AMaxLineLength = FMaxLineLength;
  const bool lineFeed = ATerminator.empty() || ATerminator == u"\n";
  const TQxBytes terminator = lineFeed ? TQxBytes("\n") : encoding.GetBytes(ATerminator);
  const int terminatorLength = static_cast<int>(terminator.size());
  FReadLnSplit = false;
  FReadLnTimedOut = false;
  const std::uint32_t start = ATimeout >= 0 ? TClock::System().TickCount() : 0;
  int searchStart = 0;  // bytes before it were searched already
  int found = -1;
  do {
    const int size = FInputBuffer->Size();
    if (size > 0) {
      found = searchStart < size ? FInputBuffer->IndexOf(terminator, searchStart) : -1;
      searchStart = std::max(size - (terminatorLength - 1), 0);
    }
    // A line is too long once its terminator lies beyond the limit, or once
    // so many bytes wait without one that it must: waiting for the rest would
    // let a peer fill memory with one endless line.
    if (AMaxLineLength > 0 && (found > AMaxLineLength ||
                               (found == -1 && size - (terminatorLength - 1) > AMaxLineLength))) {
      if (FMaxLineAction == maException) throw EQxReadLnMaxLineLengthExceeded();
      FReadLnSplit = true;
      return FInputBuffer->Extract(AMaxLineLength, &encoding);
    }
    if (found == -1) {
      CheckForDisconnect(true, true);
      FReadLnTimedOut = FillInputBuffer(true, ATimeout, false) == -1;
      if (!FReadLnTimedOut && ATimeout >= 0 &&
          TicksBetween(start, TClock::System().TickCount()) >= static_cast<std::uint32_t>(ATimeout))
        FReadLnTimedOut = true;
      if (FReadLnTimedOut) return {};
    }
  } while (found == -1);
  int lineLength = found;
  if (lineFeed && found > 0 && FInputBuffer->PeekByte(found - 1) == '\r') --lineLength;
  std::u16string line = encoding.GetString(FInputBuffer->Peek().substr(0, lineLength));
  FInputBuffer->Remove(found + terminatorLength);
  return line;
}

std::u16string TQxIOHandler::ReadLnSplit(bool& AWasSplit, const std::u16string& ATerminator,
                                         int ATimeout, int AMaxLineLength,
                                         const TEncoding* AEncoding) {
  const TQxMaxLineAction saved = FMaxLineAction;
  FMaxLineAction = maSplit;
  std::u16string line;
  try {
    line = ReadLn(ATerminator, ATimeout, AMaxLineLength, AEncoding);
  } catch (...) {
    FMaxLineAction = saved;
    throw;
  }
  FMaxLineAction = saved;
  AWasSplit = FReadLnSplit;
  return line;
}

std::u16string TQxIOHandler::ReadLnWait(int AFailCount, const TEncoding* AEncoding) {
  for (int attempts = 0; attempts < AFailCount; ++attempts) {
    std::u16string line = Trim(ReadLn(AEncoding));
    if (!line.empty()) return line;
    if (FReadLnTimedOut) throw EQxReadTimeout();
  }
  throw EQxReadLnWaitMaxAttemptsExceeded();
}

void TQxIOHandler::ReadBytes(TQxBytes& VBuffer, int AByteCount, bool AAppend) {
  if (AByteCount > 0) {
    while (FInputBuffer->Size() < AByteCount) {
      const int count = FillInputBuffer(false, -1, true);
      if (count <= 0 || FInputBuffer->Size() < AByteCount) CheckForDisconnect(true, true);
    }
    FInputBuffer->ExtractToBytes(VBuffer, AByteCount, AAppend);
  } else if (AByteCount < 0) {
    FillInputBuffer(false, FReadTimeOut, false);
    CheckForDisconnect(true, true);
    FInputBuffer->ExtractToBytes(VBuffer, -1, AAppend);
  }
}

bool TQxIOHandler::CheckForDataOnSource(int ATimeout) {
  return Connected() && FillInputBuffer(false, ATimeout, false) > 0;
}

std::u16string TQxIOHandler::InputBufferAsString(const TEncoding* AEncoding) {
  return FInputBuffer->Extract(-1, &EncodingOr(AEncoding));
}

// --- writing ---

void TQxIOHandler::Write(const std::u16string& AOut, const TEncoding* AEncoding) {
  if (AOut.empty()) return;
  Write(EncodingOr(AEncoding).GetBytes(AOut));
}

void TQxIOHandler::WriteLn(const TEncoding* AEncoding) { WriteLn(std::u16string(), AEncoding); }

void TQxIOHandler::WriteLn(const std::u16string& AOut, const TEncoding* AEncoding) {
  Write(AOut + u"\r\n", AEncoding);  // one string, so one send
}

void TQxIOHandler::WriteLnRFC(const std::u16string& AOut, const TEncoding* AEncoding) {
  if (!AOut.empty() && AOut[0] == u'.')
    WriteLn(u"." + AOut, AEncoding);
  else
    WriteLn(AOut, AEncoding);
}

void TQxIOHandler::WriteRFCStrings(const TQxStrings& AStrings, bool AWriteTerminator,
                                   const TEncoding* AEncoding) {
  for (const auto& line : AStrings) WriteLnRFC(line, AEncoding);
  if (AWriteTerminator) WriteLn(u".", AEncoding);
}

void TQxIOHandler::Write(const TQxStrings& AValue, bool AWriteLinesCount,
                         const TEncoding* AEncoding) {
  const bool opened = !WriteBufferingActive();
  if (opened) WriteBufferOpen(-1);
  try {
    if (AWriteLinesCount) {
      const std::uint32_t count = static_cast<std::uint32_t>(AValue.size());
      const char bytes[4] = {static_cast<char>(count >> 24), static_cast<char>(count >> 16),
                             static_cast<char>(count >> 8), static_cast<char>(count)};
      Write(TQxBytes(bytes, 4));
    }
    for (const auto& line : AValue) WriteLn(line, AEncoding);
    if (opened) WriteBufferClose();
  } catch (...) {
    if (opened) WriteBufferCancel();
    throw;
  }
}

void TQxIOHandler::Write(const TQxBytes& ABuffer, int ALength, int AOffset) {
  const std::string_view bytes = Clip(ABuffer, ALength, AOffset);
  if (bytes.empty()) return;
  if (FWriteBuffer) {
    FWriteBuffer->Write(bytes);
    while (FWriteBufferThreshold > 0 && FWriteBuffer &&
           FWriteBuffer->Size() >= FWriteBufferThreshold)
      WriteBufferFlush(FWriteBufferThreshold);
  } else {
    WriteDirect(ABuffer, static_cast<int>(bytes.size()), AOffset);
  }
}

void TQxIOHandler::WriteDirect(const TQxBytes& ABuffer, int ALength, int AOffset) {
  CheckForDisconnect(true, true);
  const std::string_view bytes = Clip(ABuffer, ALength, AOffset);
  int position = bytes.empty() ? 0 : AOffset;
  int left = static_cast<int>(bytes.size());
  while (left > 0) {
    const int sent = SendChunk(ABuffer, position, left);
    if (sent < 0) {
      const int err = CheckForSocketError(
          -1,
          {socket_error::Shutdown, socket_error::ConnectionAborted, socket_error::ConnectionReset});
      FClosedGracefully = true;
      Close();
      RaiseSocketError(err);
    }
    if (sent == 0) {
      FClosedGracefully = true;
      CheckForDisconnect(true, false);
      // Unread input kept the check quiet, but these bytes did not go out.
      throw EQxConnClosedGracefully();
    }
    DoWork(wmWrite, sent);
    position += sent;
    left -= sent;
  }
}

void TQxIOHandler::WriteBufferOpen(int AThreshold) {
  if (FWriteBuffer)
    FWriteBuffer->Clear();
  else
    FWriteBuffer = std::make_unique<TQxBuffer>();
  FWriteBufferThreshold = AThreshold;
}

void TQxIOHandler::WriteBufferFlush(int AByteCount) {
  if (!FWriteBuffer || FWriteBuffer->Size() == 0) return;
  if (AByteCount < 0 || AByteCount > FWriteBuffer->Size()) AByteCount = FWriteBuffer->Size();
  TQxBytes bytes;
  FWriteBuffer->ExtractToBytes(bytes, AByteCount);
  WriteDirect(bytes);
}

void TQxIOHandler::WriteBufferClose() {
  try {
    WriteBufferFlush(-1);
  } catch (...) {
    FWriteBuffer.reset();
    throw;
  }
  FWriteBuffer.reset();
}

void TQxIOHandler::WriteBufferCancel() {
  WriteBufferClear();
  WriteBufferClose();
}

void TQxIOHandler::WriteBufferClear() {
  if (FWriteBuffer) FWriteBuffer->Clear();
}

}  // namespace quorvex
