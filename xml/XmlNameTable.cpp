#include "xml/XmlNameTable.h"

#include <cstring>
#include <new>

namespace voltrane {

namespace {

uint64_t Word(const char* p) {
  uint64_t word;
  std::memcpy(&word, p, 8);
  return word;
}

// The lookup hash: the length and the first and last eight bytes, mixed by two independent
// multiplications, instead of the library's byte-serial hash, which lookups do not need.
uint64_t LookupKey(std::string_view name) {
  const char* p = name.data();
  size_t n = name.size();
  uint64_t head = 0, tail = 0;
  if (n >= 8) {
    head = Word(p);
    tail = Word(p + n - 8);
  } else {
    std::memcpy(&head, p, n);
  }
  uint64_t key = (head * 0x9E3779B97F4A7C15u) ^ (tail * 0xC2B2AE3D27D4EB4Fu) ^ n;
  return key ^ (key >> 31);
}

// Byte equality of two texts of the same length, the first and last words compared first.
bool SameText(const char* a, const char* b, size_t n) {
  if (n < 8) return std::memcmp(a, b, n) == 0;
  if (Word(a) != Word(b) || Word(a + n - 8) != Word(b + n - 8)) return false;
  return n <= 16 || std::memcmp(a + 8, b + 8, n - 16) == 0;
}

}  // namespace

uint32_t XmlNameHash(std::string_view name) {
  uint32_t h = 0;
  for (char c : name) h = h + ((h << 6) ^ static_cast<unsigned char>(c));
  return h;
}

TXmlNameTable::TXmlNameTable(int bucketCount) : bucketCount_(bucketCount < 1 ? 1 : bucketCount) {
  std::memset(inlineSlots_, 0, sizeof inlineSlots_);
  // Distinct names into an empty table: no search needed.
  TextID = Add("#text", LookupKey("#text"));
  CDataID = Add("#cdata-section", LookupKey("#cdata-section"));
  CommentID = Add("#comment", LookupKey("#comment"));
  DocumentID = Add("#document", LookupKey("#document"));
  XmlID = Add("xml", LookupKey("xml"));
  EncodingID = Add("encoding", LookupKey("encoding"));
}

TXmlNameTable::~TXmlNameTable() {
  if (slots_ != inlineSlots_) ::operator delete(slots_);
  for (const TBlock& block : blocks_) ::operator delete(block.Memory);
}

TXmlNameID TXmlNameTable::GetID(std::string_view name) {
  if (name.empty()) return nullptr;
  uint64_t key = LookupKey(name);
  if (TXmlName* found = Find(name, key)) return found;
  return Add(name, key);
}

TXmlNameID TXmlNameTable::FindID(std::string_view name) const {
  return name.empty() ? nullptr : Find(name, LookupKey(name));
}

TXmlNameID TXmlNameTable::FindByHash(uint32_t hash) const {
  // The first name interned with that hash, as a search of its bucket would find it.
  const TXmlName* first = nullptr;
  for (size_t i = 0; i <= slotMask_; ++i) {
    const TXmlName* n = slots_[i];
    if (n && n->Hash() == hash && (!first || n->Order < first->Order)) first = n;
  }
  return first;
}

TXmlName* TXmlNameTable::Find(std::string_view name, uint64_t key) const {
  for (size_t i = size_t(key) & slotMask_;; i = (i + 1) & slotMask_) {
    TXmlName* n = slots_[i];
    if (!n) return nullptr;
    if (n->Key == key && n->Text.size() == name.size() &&
        SameText(n->Text.data(), name.data(), name.size()))
      return n;
  }
}

void* TXmlNameTable::NewBlock(size_t size) {
  void* memory = ::operator new(size);
  try {
    blocks_.push_back({memory, size});
  } catch (...) {
    ::operator delete(memory);
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

void TXmlNameTable::GrowSlots() {
  size_t capacity = (slotMask_ + 1) * 2;
  auto** slots = static_cast<TXmlName**>(::operator new(sizeof(TXmlName*) * capacity));
  std::memset(slots, 0, sizeof(TXmlName*) * capacity);
  for (size_t i = 0; i <= slotMask_; ++i) {
    if (TXmlName* n = slots_[i]) {
      size_t j = size_t(n->Key) & (capacity - 1);
      while (slots[j]) j = (j + 1) & (capacity - 1);
      slots[j] = n;
    }
  }
  if (slots_ != inlineSlots_) ::operator delete(slots_);
  slots_ = slots;
  slotMask_ = capacity - 1;
}

TXmlName* TXmlNameTable::Add(std::string_view name, uint64_t key) {
  // At most three quarters of the slots are taken, so a probe always ends at a free one.
  if (size_t(count_ + 1) * 4 > (slotMask_ + 1) * 3) GrowSlots();
  if (entriesLeft_ == 0) {
    entries_ = static_cast<TXmlName*>(NewBlock(sizeof(TXmlName) * kBlockNames));
    entriesLeft_ = kBlockNames;
  }
  auto* entry = new (entries_++) TXmlName;
  --entriesLeft_;
  entry->Text = Keep(name);
  entry->Key = key;
  entry->Order = count_++;
  size_t i = size_t(key) & slotMask_;
  while (slots_[i]) i = (i + 1) & slotMask_;
  slots_[i] = entry;
  return entry;
}

}  // namespace voltrane
