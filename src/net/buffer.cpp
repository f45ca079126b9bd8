#include "net/buffer.h"

#include <climits>
#include <cstring>

#include "net/net_errors.h"
#include "net/stack.h"
#include "platform/text.h"

namespace quorvex {

TQxBuffer::TQxBuffer(int AGrowthFactor) : FGrowthFactor(AGrowthFactor) { TQxStack::IncUsage(); }

TQxBuffer::TQxBuffer(TBytesRemovedEvent AOnBytesRemoved)
    : FOnBytesRemoved(std::move(AOnBytesRemoved)) {
  TQxStack::IncUsage();
}

TQxBuffer::TQxBuffer(std::string_view ABytes) {
  TQxStack::IncUsage();
  Write(ABytes);
}

TQxBuffer::~TQxBuffer() { TQxStack::DecUsage(); }

const TEncoding& TQxBuffer::EncodingOr(const TEncoding* AEncoding) const {
  if (AEncoding) return *AEncoding;
  if (FEncoding) return *FEncoding;
  return TEncoding::ASCII();
}

void TQxBuffer::Clear() {
  FBytes = TQxBytes();
  FHeadIndex = 0;
  FSize = 0;
}

void TQxBuffer::CheckRoom(int AIndex, std::size_t AByteCount) const {
  if (static_cast<long long>(FSize) + AIndex + static_cast<long long>(AByteCount) > INT_MAX)
    throw EQxTooMuchDataInBuffer();
}

void TQxBuffer::SetArrayLength(std::size_t ALength) {
  FBytes.resize(ALength);
  // Keep the memory near what is used, without reallocating on every change.
  if (FBytes.capacity() > 2 * ALength + static_cast<std::size_t>(FGrowthFactor))
    FBytes.shrink_to_fit();
}

void TQxBuffer::Write(std::string_view ABytes, int ADestIndex) {
  if (ABytes.empty()) return;
  CheckRoom(ADestIndex < 0 ? 0 : ADestIndex, ABytes.size());
  if (FSize == 0) {
    FBytes.assign(ABytes.data(), ABytes.size());
    FHeadIndex = 0;
    FSize = static_cast<int>(ABytes.size());
    return;
  }
  CompactHead(false);
  const std::size_t n = ABytes.size();
  if (FBytes.size() - FSize < n) SetArrayLength(FSize + n + FGrowthFactor);
  if (ADestIndex < 0 || ADestIndex >= FSize) {
    std::memcpy(FBytes.data() + FSize, ABytes.data(), n);
  } else {
    std::memmove(FBytes.data() + ADestIndex + n, FBytes.data() + ADestIndex, FSize - ADestIndex);
    std::memcpy(FBytes.data() + ADestIndex, ABytes.data(), n);
  }
  FSize += static_cast<int>(n);
}

void TQxBuffer::Write(const TQxBytes& ABytes, int ALength, int AOffset, int ADestIndex) {
  if (AOffset < 0 || static_cast<std::size_t>(AOffset) >= ABytes.size()) return;
  const std::size_t available = ABytes.size() - AOffset;
  const std::size_t length =
      ALength < 0 ? available : std::min<std::size_t>(available, static_cast<std::size_t>(ALength));
  Write(std::string_view(ABytes).substr(AOffset, length), ADestIndex);
}

void TQxBuffer::Write(std::u16string_view AString, const TEncoding* AEncoding, int ADestIndex) {
  if (AString.empty()) return;
  Write(std::string_view(EncodingOr(AEncoding).GetBytes(AString)), ADestIndex);
}

void TQxBuffer::ExtractToBytes(TQxBytes& VBytes, int AByteCount, bool AAppend) {
  if (AByteCount == -1) AByteCount = FSize;
  if (AByteCount <= 0) return;
  if (AByteCount > FSize)
    throw EQxNotEnoughDataInBuffer(u16("Not enough data in buffer. (" + std::to_string(AByteCount) +
                                       "/" + std::to_string(FSize) + ")"));
  const char* head = FBytes.data() + FHeadIndex;
  if (AAppend) {
    VBytes.append(head, AByteCount);
  } else {
    if (VBytes.size() < static_cast<std::size_t>(AByteCount)) VBytes.resize(AByteCount);
    std::memcpy(VBytes.data(), head, AByteCount);
  }
  Remove(AByteCount);
}

std::u16string TQxBuffer::Extract(int AByteCount, const TEncoding* AEncoding) {
  if (AByteCount == -1) AByteCount = FSize;
  if (AByteCount < 1) return {};
  if (AByteCount > FSize)
    throw EQxNotEnoughDataInBuffer(u16("Not enough data in buffer. (" + std::to_string(AByteCount) +
                                       "/" + std::to_string(FSize) + ")"));
  std::u16string text = EncodingOr(AEncoding).GetString(Peek().substr(0, AByteCount));
  Remove(AByteCount);
  return text;
}

void TQxBuffer::Remove(int AByteCount) {
  if (AByteCount <= 0) return;
  int removed = AByteCount;
  if (AByteCount >= FSize) {
    removed = FSize;
    Clear();
  } else {
    FHeadIndex += AByteCount;
    FSize -= AByteCount;
    // Compacting only once the dead head is as long as the live bytes keeps
    // the moving linear in what is taken out.
    if (FHeadIndex > FGrowthFactor && FHeadIndex >= FSize) CompactHead(true);
  }
  if (FOnBytesRemoved) FOnBytesRemoved(*this, removed);
}

void TQxBuffer::CompactHead(bool ACanShrink) {
  if (FHeadIndex == 0) return;
  std::memmove(FBytes.data(), FBytes.data() + FHeadIndex, FSize);
  FHeadIndex = 0;
  if (ACanShrink && Capacity() - FSize > FGrowthFactor) SetArrayLength(FSize + FGrowthFactor);
}

int TQxBuffer::IndexOf(std::string_view ABytes, int AStartPos) const {
  if (FSize == 0) return -1;
  if (ABytes.empty()) throw EQxException(u"Buffer terminator must be specified.");
  if (AStartPos < 0 || AStartPos >= FSize) throw EQxException(u"Buffer start position is invalid.");
  const std::string_view live = Peek();
  if (ABytes.size() == 1) {
    const void* found = std::memchr(live.data() + AStartPos, ABytes[0], FSize - AStartPos);
    return found ? static_cast<int>(static_cast<const char*>(found) - live.data()) : -1;
  }
  const std::size_t found = live.find(ABytes, AStartPos);
  return found == std::string_view::npos ? -1 : static_cast<int>(found);
}

int TQxBuffer::IndexOf(std::u16string_view AString, int AStartPos,
                       const TEncoding* AEncoding) const {
  return IndexOf(std::string_view(EncodingOr(AEncoding).GetBytes(AString)), AStartPos);
}

std::uint8_t TQxBuffer::PeekByte(int AIndex) const {
  if (AIndex < 0 || AIndex >= FSize) throw EQxException(u"Index out of bounds.");
  return static_cast<std::uint8_t>(FBytes[FHeadIndex + AIndex]);
}

std::u16string TQxBuffer::AsString() const { return EncodingOr(nullptr).GetString(Peek()); }

}  // namespace quorvex
