#include "xml/XmlNameTable.h"

namespace voltrane {

uint32_t XmlNameHash(std::string_view name) {
  uint32_t h = 0;
  for (char c : name) h = h + ((h << 6) ^ static_cast<unsigned char>(c));
  return h;
}

TXmlNameTable::TXmlNameTable(int bucketCount) : bucketCount_(bucketCount < 1 ? 1 : bucketCount) {
  TextID = GetID("#text");
  CDataID = GetID("#cdata-section");
  CommentID = GetID("#comment");
  DocumentID = GetID("#document");
  XmlID = GetID("xml");
  EncodingID = GetID("encoding");
}

const std::string& TXmlNameTable::GetName(TXmlNameID id) {
  static const std::string empty;
  return id ? id->Text : empty;
}

TXmlNameID TXmlNameTable::GetID(std::string_view name) {
  if (name.empty()) return nullptr;
  uint32_t hash = XmlNameHash(name);
  if (TXmlName* found = Find(name, hash)) return found;
  return Add(name, hash);
}

TXmlNameID TXmlNameTable::FindID(std::string_view name) const {
  return name.empty() ? nullptr : Find(name, XmlNameHash(name));
}

TXmlNameID TXmlNameTable::FindByHash(uint32_t hash) const {
  if (buckets_) {
    for (TXmlName* n = buckets_[hash % uint32_t(bucketCount_)]; n; n = n->Next)
      if (n->Hash == hash) return n;
    return nullptr;
  }
  for (int i = 0; i < count_; ++i)
    if (inline_[i].Hash == hash) return &inline_[i];
  return nullptr;
}

TXmlName* TXmlNameTable::Find(std::string_view name, uint32_t hash) const {
  if (buckets_) {
    for (TXmlName* n = buckets_[hash % uint32_t(bucketCount_)]; n; n = n->Next)
      if (n->Hash == hash && n->Text == name) return n;
    return nullptr;
  }
  for (int i = 0; i < count_; ++i) {
    const TXmlName& n = inline_[i];
    if (n.Hash == hash && n.Text == name) return const_cast<TXmlName*>(&n);
  }
  return nullptr;
}

TXmlName* TXmlNameTable::NewEntry() {
  int index = count_++;
  if (index < kInlineNames) return &inline_[index];
  index -= kInlineNames;
  if (index % kBlockNames == 0) blocks_.emplace_back(new TXmlName[kBlockNames]);
  return &blocks_[size_t(index / kBlockNames)][index % kBlockNames];
}

void TXmlNameTable::CreateBuckets() {
  buckets_.reset(new TXmlName*[size_t(bucketCount_)]());
  // Every name so far is inline; linking them in interning order keeps bucket order.
  for (int i = 0; i < count_; ++i) {
    TXmlName** slot = &buckets_[inline_[i].Hash % uint32_t(bucketCount_)];
    while (*slot) slot = &(*slot)->Next;
    *slot = &inline_[i];
  }
}

TXmlName* TXmlNameTable::Add(std::string_view name, uint32_t hash) {
  constexpr int kPredefinedNames = 6;
  if (!buckets_ && count_ >= kPredefinedNames) CreateBuckets();
  TXmlName* entry = NewEntry();
  entry->Text.assign(name);
  entry->Hash = hash;
  entry->Next = nullptr;
  if (buckets_) {
    TXmlName** slot = &buckets_[hash % uint32_t(bucketCount_)];
    while (*slot) slot = &(*slot)->Next;
    *slot = entry;
  }
  return entry;
}

}  // namespace voltrane
