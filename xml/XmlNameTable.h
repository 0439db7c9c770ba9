// The name table: interns element, attribute and target names so that nodes hold a name ID
// and names compare by identity.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "xml/XmlBase.h"
#include "xml/XmlPool.h"

namespace voltrane {

struct TXmlName {
  std::string_view Text;  // kept by the table
  uint32_t Hash = 0;
  TXmlName* Next = nullptr;  // the next name of the same bucket, in interning order
};

// A name's identity within its table; nullptr is the null ID (the empty name). IDs of two
// tables are not comparable.
using TXmlNameID = const TXmlName*;

// h = h + ((h << 6) XOR byte) for each byte, wrapping at 32 bits.
uint32_t XmlNameHash(std::string_view name);

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
  static constexpr int kInlineNames = 32;
  static constexpr size_t kInlineText = 512;
  static constexpr int kBlockNames = 32;
  static constexpr size_t kTextBlock = 1024;

  struct TBlock {
    void* Memory;
    size_t Size;
  };

  TXmlName* Find(std::string_view name, uint32_t hash) const;
  TXmlName* Add(std::string_view name, uint32_t hash);
  std::string_view Keep(std::string_view text);
  void* NewBlock(size_t size);
  void CreateBuckets();

  int bucketCount_;
  int count_ = 0;
  // Bucket heads are made when the first name beyond the predefined ones arrives, so a
  // table that is created and dropped unused costs no bucket storage. Until then the few
  // names are searched in interning order, which finds what a bucket search would.
  TXmlName** buckets_ = nullptr;
  // Names and their texts live in the table itself and then in blocks from the pool.
  TXmlName inline_[kInlineNames];
  char inlineText_[kInlineText];
  TXmlName* entries_ = inline_;
  int entriesLeft_ = kInlineNames;
  char* text_ = inlineText_;
  size_t textLeft_ = kInlineText;
  std::vector<TBlock, TXmlPoolAllocator<TBlock>> blocks_;
};

using IXmlNameTable = TXmlRef<TXmlNameTable>;

}  // namespace voltrane
