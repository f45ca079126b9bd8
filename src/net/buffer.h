#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/text_encoding.h"

namespace quorvex {

// Raw bytes. A std::string, so that text encodings convert them without copies.
using TQxBytes = std::string;

// A byte queue: appended at the tail, taken from the head. The live bytes sit
// in one array from FHeadIndex on; the head is compacted only after it has
// moved more than GrowthFactor bytes, so taking short lines stays cheap.
class TQxBuffer {
 public:
  using TBytesRemovedEvent = std::function<void(TQxBuffer& ASender, int AByteCount)>;

  explicit TQxBuffer(int AGrowthFactor = 2048);
  explicit TQxBuffer(TBytesRemovedEvent AOnBytesRemoved);
  explicit TQxBuffer(std::string_view ABytes);
  ~TQxBuffer();
  TQxBuffer(const TQxBuffer&) = delete;
  TQxBuffer& operator=(const TQxBuffer&) = delete;

  void Clear();
  // Appends (ADestIndex -1) or inserts before the live byte ADestIndex.
  void Write(std::string_view ABytes, int ADestIndex = -1);
  // ALength bytes of ABytes from AOffset; -1 means to the end.
  void Write(const TQxBytes& ABytes, int ALength, int AOffset, int ADestIndex = -1);
  void Write(std::u16string_view AString, const TEncoding* AEncoding, int ADestIndex = -1);

  // Takes AByteCount bytes (-1: all) from the head into VBytes: appended, or
  // written over its start.
  void ExtractToBytes(TQxBytes& VBytes, int AByteCount = -1, bool AAppend = true);
  // Takes AByteCount bytes (-1: all) from the head as text.
  std::u16string Extract(int AByteCount = -1, const TEncoding* AEncoding = nullptr);
  void Remove(int AByteCount);
  void CompactHead(bool ACanShrink = true);

  // Position of ABytes in the live bytes from AStartPos on, or -1.
  int IndexOf(std::string_view ABytes, int AStartPos = 0) const;
  int IndexOf(std::u16string_view AString, int AStartPos, const TEncoding* AEncoding) const;
  std::uint8_t PeekByte(int AIndex) const;
  // The live bytes; valid until the buffer changes.
  std::string_view Peek() const { return std::string_view(FBytes).substr(FHeadIndex, FSize); }

  int Size() const { return FSize; }
  int Capacity() const { return static_cast<int>(FBytes.size()); }
  int GrowthFactor() const { return FGrowthFactor; }
  void SetGrowthFactor(int AValue) { FGrowthFactor = AValue; }
  const TEncoding* Encoding() const { return FEncoding; }
  void SetEncoding(const TEncoding* AValue) { FEncoding = AValue; }
  std::u16string AsString() const;

 private:
  const TEncoding& EncodingOr(const TEncoding* AEncoding) const;
  void CheckRoom(int AIndex, std::size_t AByteCount) const;
  void SetArrayLength(std::size_t ALength);

  TQxBytes FBytes;
  int FHeadIndex = 0;
  int FSize = 0;
  int FGrowthFactor = 2048;
  const TEncoding* FEncoding = nullptr;
  TBytesRemovedEvent FOnBytesRemoved;
};

}  // namespace quorvex
