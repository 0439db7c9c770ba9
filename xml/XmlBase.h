// Reference counting of the XML objects and the handle type through which callers hold them.
#pragma once

#include <concepts>
#include <cstddef>
#include <utility>

namespace voltrane {

class TXmlBase;

// Raises the error for a call through an empty handle (a lookup that found nothing).
[[noreturn]] void RaiseEmptyXmlReference();

class TXmlBase {
 public:
  TXmlBase() = default;
  TXmlBase(const TXmlBase&) = delete;
  TXmlBase& operator=(const TXmlBase&) = delete;

  // Plain counts: a document, its nodes and its name table are used by one thread at a time.
  void AddRef() noexcept { ++refCount_; }
  // Dropping the last reference frees the object. Objects freed while another one is being
  // freed are queued instead of freed recursively, so releasing a tree of any depth uses a
  // bounded amount of stack.
  void Release() noexcept {
    if (--refCount_ == 0) Destroy(this);
  }
  int RefCount() const noexcept { return refCount_; }

  TXmlBase* GetImplementor() noexcept { return this; }

 protected:
  virtual ~TXmlBase() = default;

 private:
  static void Destroy(TXmlBase* object) noexcept;
  int refCount_ = 0;
  TXmlBase* nextToDestroy_ = nullptr;  // links objects waiting to be freed
};

// An interface reference: holds one count on the object; empty means "none".
template <class T>
class TXmlRef {
 public:
  TXmlRef() noexcept = default;
  TXmlRef(std::nullptr_t) noexcept {}
  explicit TXmlRef(T* object) noexcept : p_(object) {
    if (p_) p_->AddRef();
  }
  TXmlRef(const TXmlRef& other) noexcept : TXmlRef(other.p_) {}
  TXmlRef(TXmlRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  template <class U>
  requires std::convertible_to<U*, T*> TXmlRef(const TXmlRef<U>& other)
  noexcept : TXmlRef(other.Get()) {}
  template <class U>
  requires std::convertible_to<U*, T*> TXmlRef(TXmlRef<U>&& other)
  noexcept : p_(other.Detach()) {}
  ~TXmlRef() {
    if (p_) p_->Release();
  }

  TXmlRef& operator=(TXmlRef other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }

  T* operator->() const {
    if (!p_) RaiseEmptyXmlReference();
    return p_;
  }
  T& operator*() const { return *operator->(); }
  T* Get() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  // Gives up the count without releasing it.
  T* Detach() noexcept { return std::exchange(p_, nullptr); }

  template <class U>
  bool operator==(const TXmlRef<U>& other) const noexcept {
    return static_cast<const void*>(Base(p_)) == static_cast<const void*>(Base(other.Get()));
  }
  bool operator==(std::nullptr_t) const noexcept { return p_ == nullptr; }

 private:
  static const TXmlBase* Base(const TXmlBase* p) { return p; }
  T* p_ = nullptr;
};

}  // namespace voltrane
