// The name table: interns element, attribute and target names so that nodes hold a name ID
// and names compare by identity.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "xml/XmlBase.h"

namespace voltrane {

// h = h + ((h << 6) XOR byte) for each byte, wrapping at 32 bits.
uint32_t XmlNameHash(std::string_view name);

struct TXmlName {
  std::string_view Text;  // kept by the table
  uint64_t Key = 0;       // the table's own lookup hash
  int Order = 0;          // interning order within the table
  // The library's name hash, made when first asked for: lookups do not need it.
  uint32_t Hash() const {
    if (!hashed_) {
      hash_ = XmlNameHash(Text);
      hashed_ = true;
    }
    return hash_;
  }

 private:
  mutable uint32_t hash_ = 0;
  mutable bool hashed_ = false;
};

// A name's identity within its table; nullptr is the null ID (the empty name). IDs of two
// tables are not comparable.
using TXmlNameID = const TXmlName*;

class TXmlNameTable : public TXmlBase {
 public:
  static constexpr int kDefaultBucketCount = 499;

  explicit TXmlNameTable(int bucketCount = kDefaultBucketCount);
  ~TXmlNameTable() override;

  // The ID of name, interning it when it is new; the empty name gives the null ID.
  TXmlNameID GetID(std::string_view name);
  // The ID of name when it is interned, else the null ID; the table does not grow.
  TXmlNameID FindID(std::string_view name) const;
  // The interned text, valid while the table lives; the null ID gives "".
  static std::string_view GetName(TXmlNameID id) { return id ? id->Text : std::string_view(); }
  // The first name in the hash's bucket with that hash, else the null ID.
  TXmlNameID FindByHash(uint32_t hash) const;

  int GetBucketCount() const { return bucketCount_; }
  int GetCount() const { return count_; }

  // Interned when the table is created, in this order.
  TXmlNameID TextID;      // "#text"
  TXmlNameID CDataID;     // "#cdata-section"
  TXmlNameID CommentID;   // "#comment"
  TXmlNameID DocumentID;  // "#document"
  TXmlNameID XmlID;       // "xml"
  TXmlNameID EncodingID;  // "encoding"

 private:
  // Sized so that the names of a typical small document fit without further blocks.
  static constexpr int kInlineNames = 64;
  static constexpr size_t kInlineText = 1280;
  static constexpr size_t kInlineSlots = 128;  // a power of two
  static constexpr int kBlockNames = 64;
  static constexpr size_t kTextBlock = 2048;

  struct TBlock {
    void* Memory;
    size_t Size;
  };

  TXmlName* Find(std::string_view name, uint64_t key) const;
  TXmlName* Add(std::string_view name, uint64_t key);
  std::string_view Keep(std::string_view text);
  void* NewBlock(size_t size);
  void GrowSlots();

  int bucketCount_;  // kept for the record; lookups use the slots below
  int count_ = 0;
  // Open addressing on each name's Key: the bucket count above fixes nothing that can be
  // seen but itself, and a name found by the hash of the binary form is found by a scan.
  TXmlName** slots_ = inlineSlots_;
  size_t slotMask_ = kInlineSlots - 1;
  TXmlName* inlineSlots_[kInlineSlots];
  // Names and their texts live in the table itself and then in blocks from the pool.
  // Entries are made as names arrive, so an unused one costs nothing.
  alignas(TXmlName) unsigned char inline_[sizeof(TXmlName) * kInlineNames];
  char inlineText_[kInlineText];
  TXmlName* entries_ = reinterpret_cast<TXmlName*>(inline_);
  int entriesLeft_ = kInlineNames;
  char* text_ = inlineText_;
  size_t textLeft_ = kInlineText;
  std::vector<TBlock> blocks_;
};

using IXmlNameTable = TXmlRef<TXmlNameTable>;

}  // namespace voltrane
