#include "xml/XmlBinary.h"

#include <cstring>
#include <unordered_map>
#include <vector>

#include "rt/Exception.h"
#include "rt/Stream.h"

namespace voltrane {

namespace {

constexpr size_t kBlock = 65536;

[[noreturn]] void RaiseReadData() {
  throw Exception("Error reading data");
}

bool IsTreeKind(int type) {
  return type >= xntElement && type <= xntComment;
}
bool HasName(int type) {
  return type == xntElement || type == xntProcessingInstruction;
}

uint64_t FloatBits(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

double BitsFloat(uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

uint32_t NameHash(TXmlNameID id) {
  return id ? id->Hash() : 0;
}

}  // namespace

// --- writer

void TBinXmlWriter::WriteCompact(uint32_t value) {
  uint8_t bytes[5];
  if (value < 128) {
    bytes[0] = uint8_t(value);
    WriteBytes(bytes, 1);
  } else if (value < 0x7F00) {  // a first byte of 255 is the marker of the long form
    bytes[0] = uint8_t(0x80 | (value >> 8));
    bytes[1] = uint8_t(value);
    WriteBytes(bytes, 2);
  } else {
    bytes[0] = 255;
    for (int i = 0; i < 4; ++i) bytes[1 + i] = uint8_t(value >> (8 * i));
    WriteBytes(bytes, 5);
  }
}

void TBinXmlWriter::WriteU16(uint16_t value) {
  uint8_t bytes[2] = {uint8_t(value), uint8_t(value >> 8)};
  WriteBytes(bytes, 2);
}

void TBinXmlWriter::WriteU32(uint32_t value) {
  uint8_t bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = uint8_t(value >> (8 * i));
  WriteBytes(bytes, 4);
}

void TBinXmlWriter::WriteString(std::string_view text) {
  if (!wide_) {
    WriteCompact(uint32_t(text.size()));
    WriteBytes(text.data(), text.size());
    return;
  }
  std::u16string units = Utf8ToWide(text);
  WriteCompact(uint32_t(units.size()));
  for (char16_t u : units) WriteU16(u);
}

void TBinXmlWriter::WriteValue(const TVariant& value) {
  uint16_t type = value.VarType();
  WriteU16(type);
  uint64_t n = uint64_t(value.IntegerValue());
  switch (type) {
    case varEmpty:
    case varNull:
      break;
    case varBoolean:
    case varShortInt:
    case varByte: {
      uint8_t b = uint8_t(n);
      WriteBytes(&b, 1);
      break;
    }
    case varSmallint:
    case varWord:
      WriteU16(uint16_t(n));
      break;
    case varInteger:
    case varLongWord:
      WriteU32(uint32_t(n));
      break;
    case varSingle: {
      float f = float(value.FloatValue());
      uint32_t bits;
      std::memcpy(&bits, &f, sizeof bits);
      WriteU32(bits);
      break;
    }
    case varDouble:
    case varDate:
      n = FloatBits(value.FloatValue());
      [[fallthrough]];
    case varCurrency:
    case varInt64:
      WriteU32(uint32_t(n));
      WriteU32(uint32_t(n >> 32));
      break;
    case varOleStr: {
      std::u16string units = value.WideValue();
      WriteCompact(uint32_t(units.size()));
      for (char16_t u : units) WriteU16(u);
      break;
    }
    case varString:
      WriteString(value.StringValue());
      break;
    case varByteArray:
      WriteCompact(uint32_t(value.StringValue().size()));
      WriteBytes(value.StringValue().data(), value.StringValue().size());
      break;
    default:
      throw Exception("Unknown data type in variant");
  }
}

void TBinXmlWriter::WriteAttrs(const TXmlNode& node) {
  WriteCompact(uint32_t(node.GetAttrCount()));
  for (int i = 0; i < node.GetAttrCount(); ++i) {
    WriteU32(WireHash(node.GetAttrNameIDAt(i)));
    WriteValue(node.GetAttrValueAt(i));
  }
}

std::string TBinXmlWriter::WireName(TXmlNameID id, bool wide) {
  std::string_view text = TXmlNameTable::GetName(id);
  return wide ? WideToUtf8(Utf8ToWide(text)) : std::string(text);
}

TBinXmlWriter::TNamePlan TBinXmlWriter::CollectNames(const TXmlDocument& document, bool wide) {
  // Names travel as hashes, so two names of one hash could not be told apart when read back.
  // The hash is that of the name as the reader will intern it: UTF-16 strings lose the bytes
  // of a name that is not UTF-8, and the reader could not find the original's hash.
  TNamePlan plan;
  std::unordered_map<uint32_t, std::string> byHash{{0, std::string()}};
  auto use = [&](TXmlNameID id) {
    if (!id || plan.Hashes.contains(id)) return;
    std::string wire = WireName(id, wide);
    uint32_t hash = XmlNameHash(wire);
    plan.Hashes.emplace(id, hash);
    auto [it, added] = byHash.emplace(hash, wire);
    if (added) plan.Names.push_back(id);
    if (it->second != wire)
      throw Exception("Error writing binary XML: names \"" + it->second + "\" and \"" + wire +
                      "\" have the same hash");
  };
  std::vector<const TXmlNode*> pending{&document};
  while (!pending.empty()) {
    const TXmlNode* node = pending.back();
    pending.pop_back();
    if (node != &document) {
      if (!IsTreeKind(node->GetNodeType()))
        throw Exception("Error writing binary XML: incorrect node-type");
      if (HasName(node->GetNodeType())) use(node->GetNameID());
    }
    for (int i = 0; i < node->GetAttrCount(); ++i) use(node->GetAttrNameIDAt(i));
    for (int i = node->ChildCount() - 1; i >= 0; --i) pending.push_back(node->ChildAt(i));
  }
  return plan;
}

uint32_t TBinXmlWriter::WireHash(TXmlNameID id) const {
  return id ? hashes_.at(id) : 0;
}

void TBinXmlWriter::WriteDocument(const TXmlDocument& document, uint32_t options) {
  wide_ = options & kBinaryXmlWideStrings;
  TNamePlan plan = CollectNames(document, wide_);
  hashes_ = std::move(plan.Hashes);
  WriteBytes(kBinaryXmlHeader.data(), kBinaryXmlHeader.size());
  WriteU32(options);
  WriteCompact(uint32_t(plan.Names.size()));
  for (TXmlNameID id : plan.Names) WriteString(id->Text);
  WriteAttrs(document);
  WriteCompact(uint32_t(document.ChildCount()));

  // Pre-order through an explicit stack: each node, then its children.
  std::vector<const TXmlNode*> stack;
  for (int i = document.ChildCount() - 1; i >= 0; --i) stack.push_back(document.ChildAt(i));
  while (!stack.empty()) {
    const TXmlNode* node = stack.back();
    stack.pop_back();
    int type = node->GetNodeType();
    uint8_t kind = uint8_t(type);
    WriteBytes(&kind, 1);
    if (HasName(type)) WriteU32(WireHash(node->GetNameID()));
    switch (type) {
      case xntElement:
        WriteValue(static_cast<const TXmlElement*>(node)->Data());
        break;
      case xntText:
        WriteValue(static_cast<const TXmlText*>(node)->Value());
        break;
      case xntProcessingInstruction:
        WriteString(static_cast<const TXmlProcessingInstruction*>(node)->Data());
        break;
      default:
        WriteString(static_cast<const TXmlCharacterData*>(node)->Data());
    }
    WriteAttrs(*node);
    WriteCompact(uint32_t(node->ChildCount()));
    for (int i = node->ChildCount() - 1; i >= 0; --i) stack.push_back(node->ChildAt(i));
  }
  Finish();
}

void TStmXmlWriter::WriteBytes(const void* data, size_t count) {
  const char* bytes = static_cast<const char*>(data);
  while (count > 0) {
    size_t n = std::min(count, kBlock - buffer_.size());
    buffer_.append(bytes, n);
    bytes += n;
    count -= n;
    if (buffer_.size() == kBlock) Finish();
  }
}

void TStmXmlWriter::Finish() {
  stream_.WriteBuffer(buffer_.data(), int64_t(buffer_.size()));
  buffer_.clear();
}

// --- reader

void TBinXmlReader::Read(void* data, size_t count) {
  if (ReadBytes(data, count) != count) RaiseReadData();
}

uint8_t TBinXmlReader::ReadU8() {
  uint8_t b;
  Read(&b, 1);
  return b;
}

uint16_t TBinXmlReader::ReadU16() {
  uint8_t b[2];
  Read(b, 2);
  return uint16_t(b[0] | b[1] << 8);
}

uint32_t TBinXmlReader::ReadU32() {
  uint8_t b[4];
  Read(b, 4);
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

uint32_t TBinXmlReader::ReadCompact() {
  uint8_t first = ReadU8();
  if (first < 128) return first;
  if (first == 255) return ReadU32();
  return uint32_t(first & 127) << 8 | ReadU8();
}

std::string TBinXmlReader::ReadString() {
  if (wide_) return WideToUtf8(ReadWide());
  uint32_t length = ReadCompact();
  std::string text;
  // Grown while reading, so a damaged length cannot ask for memory the data lacks.
  while (text.size() < length) {
    size_t n = std::min<size_t>(length - text.size(), kBlock);
    size_t at = text.size();
    text.resize(at + n);
    Read(text.data() + at, n);
  }
  return text;
}

std::u16string TBinXmlReader::ReadWide() {
  uint32_t length = ReadCompact();
  std::u16string units;
  for (uint32_t i = 0; i < length; ++i) units += char16_t(ReadU16());
  return units;
}

TVariant TBinXmlReader::ReadValue() {
  uint16_t type = ReadU16();
  switch (type) {
    case varEmpty:
      return TVariant();
    case varNull:
      return TVariant::Null();
    case varBoolean:
      return TVariant(ReadU8() != 0);
    case varShortInt:
      return TVariant::ShortInt(int8_t(ReadU8()));
    case varByte:
      return TVariant::Byte(ReadU8());
    case varSmallint:
      return TVariant::Smallint(int16_t(ReadU16()));
    case varWord:
      return TVariant::Word(ReadU16());
    case varInteger:
      return TVariant(int32_t(ReadU32()));
    case varLongWord:
      return TVariant::LongWord(ReadU32());
    case varSingle: {
      uint32_t bits = ReadU32();
      float f;
      std::memcpy(&f, &bits, sizeof f);
      return TVariant::Single(f);
    }
    case varDouble:
    case varDate:
    case varCurrency:
    case varInt64: {
      uint64_t low = ReadU32();
      uint64_t n = low | uint64_t(ReadU32()) << 32;
      if (type == varDouble) return TVariant(BitsFloat(n));
      if (type == varDate) return TVariant::DateTime(BitsFloat(n));
      if (type == varCurrency) return TVariant::Currency(int64_t(n));
      return TVariant(int64_t(n));
    }
    case varOleStr:
      return TVariant::Wide(ReadWide());
    case varString:
      return TVariant(ReadString());
    case varByteArray: {
      bool wide = wide_;
      wide_ = false;
      std::string bytes = ReadString();
      wide_ = wide;
      return TVariant::Bytes(bytes);
    }
    default:
      throw Exception("Error reading value: incorrect type");
  }
}

void TBinXmlReader::ReadDocument(TXmlDocument& document) {
  char header[kBinaryXmlHeader.size()];
  Read(header, sizeof header);
  if (std::string_view(header, sizeof header) != kBinaryXmlHeader) RaiseReadData();
  wide_ = ReadU32() & kBinaryXmlWideStrings;

  TXmlNameTable& table = document.Names();
  std::unordered_map<uint32_t, TXmlNameID> byHash;
  for (uint32_t i = 0, count = ReadCompact(); i < count; ++i) {
    TXmlNameID id = table.GetID(ReadString());
    byHash.emplace(NameHash(id), id);
  }
  auto name = [&]() -> TXmlNameID {
    uint32_t hash = ReadU32();
    auto found = byHash.find(hash);
    if (found != byHash.end()) return found->second;
    if (hash == 0) return nullptr;
    RaiseReadData();
  };
  auto readAttrs = [&](TXmlNode& node) {
    for (uint32_t i = 0, count = ReadCompact(); i < count; ++i) {
      TXmlNameID id = name();
      TVariant value = ReadValue();
      if (id) node.SetAttrValue(id, value);
    }
  };
  readAttrs(document);

  IXmlNameTable names = document.GetNameTable();
  struct TLevel {
    TXmlNode* Parent;
    uint32_t Left;
  };
  std::vector<TLevel> levels{{&document, ReadCompact()}};
  while (!levels.empty()) {
    if (levels.back().Left == 0) {
      levels.pop_back();
      continue;
    }
    --levels.back().Left;
    TXmlNode* parent = levels.back().Parent;
    uint8_t kind = ReadU8();
    if (!IsTreeKind(kind)) throw Exception("Error reading binary XML: incorrect node-type");
    IXmlNode node;
    switch (kind) {
      case xntElement: {
        IXmlElement element(new TXmlElement(names, name()));
        element->SetNodeValue(ReadValue());
        node = element;
        break;
      }
      case xntText:
        node = IXmlNode(new TXmlText(names, ReadValue()));
        break;
      case xntCDATASection:
        node = IXmlNode(new TXmlCDATASection(names, ReadString()));
        break;
      case xntComment:
        node = IXmlNode(new TXmlComment(names, ReadString()));
        break;
      default: {
        TXmlNameID target = name();
        node = IXmlNode(new TXmlProcessingInstruction(names, target, ReadString()));
      }
    }
    parent->GetChildListObject().AppendNew(node);
    readAttrs(*node.Get());
    levels.push_back({node.Get(), ReadCompact()});
  }
}

size_t TStmXmlReader::ReadBytes(void* data, size_t count) {
  char* out = static_cast<char*>(data);
  size_t done = 0;
  while (done < count) {
    if (pos_ == buffer_.size()) {
      buffer_.resize(kBlock);
      buffer_.resize(size_t(stream_.Read(buffer_.data(), int64_t(kBlock))));
      pos_ = 0;
      if (buffer_.empty()) break;
    }
    size_t n = std::min(count - done, buffer_.size() - pos_);
    std::memcpy(out + done, buffer_.data() + pos_, n);
    pos_ += n;
    done += n;
  }
  return done;
}

size_t TStrXmlReader::ReadBytes(void* data, size_t count) {
  size_t n = std::min(count, data_.size() - pos_);
  std::memcpy(data, data_.data() + pos_, n);
  pos_ += n;
  return n;
}

}  // namespace voltrane
