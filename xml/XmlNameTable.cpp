#include "xml/XmlNameTable.h"

#include <cstring>

namespace voltrane {

uint32_t XmlNameHash(std::string_view name) {
  uint32_t h = 0;
  for (char c : name) h = h + ((h << 6) ^ static_cast<unsigned char>(c));
  return h;
}

TXmlNameTable::TXmlNameTable(int bucketCount) : bucketCount_(bucketCount < 1 ? 1 : bucketCount) {
  // Distinct names into an empty table: no search needed.
  TextID = Add("#text", XmlNameHash("#text"));
  CDataID = Add("#cdata-section", XmlNameHash("#cdata-section"));
  CommentID = Add("#comment", XmlNameHash("#comment"));
  DocumentID = Add("#document", XmlNameHash("#document"));
  XmlID = Add("xml", XmlNameHash("xml"));
  EncodingID = Add("encoding", XmlNameHash("encoding"));
}

TXmlNameTable::~TXmlNameTable() {
  if (buckets_) XmlPoolFree(buckets_, sizeof(TXmlName*) * size_t(bucketCount_));
  for (const TBlock& block : blocks_) XmlPoolFree(block.Memory, block.Size);
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

void* TXmlNameTable::NewBlock(size_t size) {
  void* memory = XmlPoolAllocate(size);
  try {
    blocks_.push_back({memory, size});
  } catch (...) {
    XmlPoolFree(memory, size);
    throw;
  }
  return memory;
}

std::string_view TXmlNameTable::Keep(std::string_view text) {
  if (text.size() > textLeft_) {
    size_t size = std::max(kTextBlock, text.size());
    text_ = static_cast<char*>(NewBlock(size));
    textLeft_ = size;
  }
  std::memcpy(text_, text.data(), text.size());
  std::string_view kept(text_, text.size());
  text_ += text.size();
  textLeft_ -= text.size();
  return kept;
}

void TXmlNameTable::CreateBuckets() {
  size_t size = sizeof(TXmlName*) * size_t(bucketCount_);
  buckets_ = static_cast<TXmlName**>(XmlPoolAllocate(size));
  std::memset(buckets_, 0, size);
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
  if (entriesLeft_ == 0) {
    entries_ = new (NewBlock(sizeof(TXmlName) * kBlockNames)) TXmlName[kBlockNames];
    entriesLeft_ = kBlockNames;
  }
  TXmlName* entry = entries_++;
  --entriesLeft_;
  entry->Text = Keep(name);
  entry->Hash = hash;
  entry->Next = nullptr;
  ++count_;
  if (buckets_) {
    TXmlName** slot = &buckets_[hash % uint32_t(bucketCount_)];
    while (*slot) slot = &(*slot)->Next;
    *slot = entry;
  }
  return entry;
}

}  // namespace voltrane
