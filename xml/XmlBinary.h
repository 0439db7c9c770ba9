// The binary form of a document: "< binary-xml >", a 32-bit options word, the names the
// tree uses (count, then each as a string), the document's attributes, then its children.
// A node is its type (1 element, 2 text, 3 CDATA, 4 processing instruction, 5 comment),
// the hash of its name (element and instruction), its value (element Data and text value
// as variants, the others as strings), its attributes (count, then hash and variant each)
// and its child count, its children following in order. A variant is its 16-bit type code
// and the value; a string is a compact length and the bytes (UTF-16 units with option bit
// 0). Numbers are little-endian. A compact integer is one byte below 128, two bytes (high
// bit set, value = (first AND 127) * 256 + second) below 32,512, else 255 and 4 bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "xml/XmlDocument.h"

namespace voltrane {

class TStream;

constexpr std::string_view kBinaryXmlHeader = "< binary-xml >";

class TBinXmlWriter {
 public:
  virtual ~TBinXmlWriter() = default;
  // Every check is made before the first byte is written, so a document that cannot be
  // written leaves nothing behind. Raises "Error writing binary XML: incorrect node-type"
  // for a node that cannot stand in a tree (a document inside a tree).
  void WriteDocument(const TXmlDocument& document, uint32_t options);
  // The same checks alone, for a caller that must not create a file it cannot fill.
  static void CheckDocument(const TXmlDocument& document, uint32_t options) {
    CollectNames(document, options & kBinaryXmlWideStrings);
  }

 protected:
  virtual void WriteBytes(const void* data, size_t count) = 0;
  virtual void Finish() {}

 private:
  struct TNamePlan {
    std::vector<TXmlNameID> Names;  // one per hash, in order of first use
    std::unordered_map<TXmlNameID, uint32_t> Hashes;
  };
  // The names the tree uses and the hash each travels as; makes every check.
  static TNamePlan CollectNames(const TXmlDocument& document, bool wide);
  // A name as the reader gets it back.
  static std::string WireName(TXmlNameID id, bool wide);
  uint32_t WireHash(TXmlNameID id) const;
  void WriteCompact(uint32_t value);
  void WriteU16(uint16_t value);
  void WriteU32(uint32_t value);
  void WriteString(std::string_view text);
  void WriteValue(const TVariant& value);
  void WriteAttrs(const TXmlNode& node);

  bool wide_ = false;
  std::unordered_map<TXmlNameID, uint32_t> hashes_;
};

// Writes to a stream in blocks of 64 KiB.
class TStmXmlWriter : public TBinXmlWriter {
 public:
  explicit TStmXmlWriter(TStream& stream) : stream_(stream) {}

 protected:
  void WriteBytes(const void* data, size_t count) override;
  void Finish() override;

 private:
  TStream& stream_;
  std::string buffer_;
};

class TStrXmlWriter : public TBinXmlWriter {
 public:
  const std::string& Result() const { return out_; }

 protected:
  void WriteBytes(const void* data, size_t count) override {
    out_.append(static_cast<const char*>(data), count);
  }

 private:
  std::string out_;
};

class TBinXmlReader {
 public:
  virtual ~TBinXmlReader() = default;
  // Appends the stored tree to document (whose children the caller has removed).
  // Raises "Error reading data" for a truncated or damaged form, "Error reading binary
  // XML: incorrect node-type" and "Error reading value: incorrect type".
  void ReadDocument(TXmlDocument& document);

 protected:
  // Up to count bytes; fewer only at the end of the data.
  virtual size_t ReadBytes(void* data, size_t count) = 0;

 private:
  void Read(void* data, size_t count);
  uint8_t ReadU8();
  uint16_t ReadU16();
  uint32_t ReadU32();
  uint32_t ReadCompact();
  std::string ReadString();
  std::u16string ReadWide();
  TVariant ReadValue();
  void ReadAttrs(TXmlNode& node);

  bool wide_ = false;
};

// Reads from a stream through a 64 KiB buffer.
class TStmXmlReader : public TBinXmlReader {
 public:
  explicit TStmXmlReader(TStream& stream) : stream_(stream) {}

 protected:
  size_t ReadBytes(void* data, size_t count) override;

 private:
  TStream& stream_;
  std::string buffer_;
  size_t pos_ = 0;
};

class TStrXmlReader : public TBinXmlReader {
 public:
  explicit TStrXmlReader(std::string_view data) : data_(data) {}

 protected:
  size_t ReadBytes(void* data, size_t count) override;

 private:
  std::string_view data_;
  size_t pos_ = 0;
};

}  // namespace voltrane
