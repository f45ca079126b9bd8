#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex {

// Characters of a display name that force quoting or encoding.
inline constexpr std::u16string_view kDisplayNameSpecials = u"()[]<>:;.,@\\\"";

class TQxEMailAddressItem {
 public:
  TQxEMailAddressItem() = default;
  explicit TQxEMailAddressItem(std::u16string_view text) { SetText(text); }

  const std::u16string& Address() const { return FAddress; }
  void SetAddress(std::u16string value) { FAddress = std::move(value); }
  const std::u16string& Name() const { return FName; }
  void SetName(std::u16string value) { FName = std::move(value); }

  // Name and address as one text: `Ops Desk <a@x>`, `"Desk, Ops" <a@x>`.
  std::u16string Text() const;
  // Parses one address into Name and Address.
  void SetText(std::u16string_view text);

  std::u16string User() const;
  void SetUser(std::u16string_view user);
  std::u16string Domain() const;
  void SetDomain(std::u16string_view domain);

  // The address, quoted where its local part needs it, in angle brackets
  // when there is a name.
  std::u16string QuotedAddressSpec() const;

  void Assign(const TQxEMailAddressItem& source) {
    FAddress = source.FAddress;
    FName = source.FName;
  }

 private:
  std::u16string FAddress;
  std::u16string FName;
};

class TQxEMailAddressList {
 public:
  TQxEMailAddressList() = default;
  TQxEMailAddressList(const TQxEMailAddressList&) = delete;
  TQxEMailAddressList& operator=(const TQxEMailAddressList&) = delete;

  TQxEMailAddressItem& Add();
  void AddItems(const TQxEMailAddressList* list);
  void Delete(size_t index);
  void Clear() { FItems.clear(); }
  size_t Count() const { return FItems.size(); }
  TQxEMailAddressItem& operator[](size_t index) { return *FItems.at(index); }
  const TQxEMailAddressItem& operator[](size_t index) const { return *FItems.at(index); }

  // The Text of every entry, joined by ", ".
  std::u16string EMailAddresses() const;
  // Clears the list and adds one entry per address of a list text. Commas and
  // semicolons separate addresses, except inside quotes and comments.
  void SetEMailAddresses(std::u16string_view text);

  void FillTStrings(std::vector<std::u16string>& strings) const;

 private:
  // Entries are held by pointer so references handed out stay valid.
  std::vector<std::unique_ptr<TQxEMailAddressItem>> FItems;
};

// Header form of one entry. With nameFromAddress an entry without a name gets
// its address as name (the entry keeps it).
std::u16string FormatHeaderAddress(TQxEMailAddressItem& item, char16_t letter,
                                   std::u16string_view charset, bool nameFromAddress);
std::u16string FormatHeaderAddresses(TQxEMailAddressList& list, char16_t letter,
                                     std::u16string_view charset, bool nameFromAddress);

}  // namespace quorvex
