#pragma once
// Scratch storage of a parse: the stacks members and items wait on until their node
// closes, and the units of a text with escapes on their way into it.
#include <cstddef>
#include <cstring>
#include <new>
#include <utility>

namespace kn::json::detail {

// The storage a stack of the latest parse on this thread grew to, kept for the next one:
// a large document's stack would otherwise come from fresh pages of the heap each time.
template <typename T>
struct SpareStack {
  SpareStack() = default;
  SpareStack(const SpareStack&) = delete;
  SpareStack& operator=(const SpareStack&) = delete;
  ~SpareStack() { ::operator delete(static_cast<void*>(data)); }
  T* data = nullptr;
  std::size_t capacity = 0;
};
template <typename T>
thread_local SpareStack<T> spare_stack;

// A stack that starts in the parser itself, so small documents make no heap call for it.
template <typename T, std::size_t N>
class ScratchStack {
 public:
  ScratchStack() = default;
  ScratchStack(const ScratchStack&) = delete;
  ScratchStack& operator=(const ScratchStack&) = delete;
  ~ScratchStack() {
    Truncate(0);
    // Kept for the next parse when this one needed the heap; a parse that did not lets
    // the spare go, so one large document does not pin its memory.
    SpareStack<T>& spare = spare_stack<T>;
    if (data_ == Inline() && !spare.data) return;
    ::operator delete(static_cast<void*>(spare.data));
    spare.data = nullptr;
    spare.capacity = 0;
    if (data_ != Inline()) {
      spare.data = data_;
      spare.capacity = capacity_;
    }
  }

  T* data() noexcept { return data_; }
  std::size_t size() const noexcept { return size_; }
  template <typename... Args>
  void emplace_back(Args&&... args) {
    if (size_ == capacity_) Grow();
    ::new (static_cast<void*>(data_ + size_)) T(std::forward<Args>(args)...);
    ++size_;
  }
  // Destroys the elements from n on.
  void Truncate(std::size_t n) noexcept {
    while (size_ > n) data_[--size_].~T();
  }
  // Drops the elements from n on without destroying them: for elements moved from,
  // which hold nothing.
  void Forget(std::size_t n) noexcept { size_ = n; }

 private:
  T* Inline() noexcept { return reinterpret_cast<T*>(inline_); }
  void Grow() {
    std::size_t capacity = capacity_ * 2;
    T* fresh;
    SpareStack<T>& spare = spare_stack<T>;
    if (data_ == Inline() && spare.capacity >= capacity) {
      fresh = std::exchange(spare.data, nullptr);
      capacity = std::exchange(spare.capacity, 0);
    } else {
      fresh = static_cast<T*>(::operator new(capacity * sizeof(T)));
    }
    for (std::size_t i = 0; i < size_; ++i) {
      ::new (static_cast<void*>(fresh + i)) T(std::move(data_[i]));
      data_[i].~T();
    }
    if (data_ != Inline()) ::operator delete(static_cast<void*>(data_));
    data_ = fresh;
    capacity_ = capacity;
  }

  alignas(T) unsigned char inline_[N * sizeof(T)];
  T* data_ = Inline();
  std::size_t size_ = 0;
  std::size_t capacity_ = N;
};

// Units of a text with escapes, collected on their way into a JsonText.
class ScratchText {
 public:
  ScratchText() = default;
  ScratchText(const ScratchText&) = delete;
  ScratchText& operator=(const ScratchText&) = delete;
  ~ScratchText() {
    if (data_ != inline_) delete[] data_;
  }

  void clear() noexcept { size_ = 0; }
  std::u16string_view View() const noexcept { return {data_, size_}; }
  // Room for n more units at the end; Commit says how many were written.
  char16_t* Room(std::size_t n) {
    if (capacity_ - size_ < n) Grow(n);
    return data_ + size_;
  }
  void Commit(std::size_t n) noexcept { size_ += n; }
  void push_back(char16_t c) {
    *Room(1) = c;
    ++size_;
  }

 private:
  void Grow(std::size_t n) {
    std::size_t capacity = capacity_ * 2;
    if (capacity - size_ < n) capacity = size_ + n;
    auto* fresh = new char16_t[capacity];
    std::memcpy(fresh, data_, size_ * sizeof(char16_t));
    if (data_ != inline_) delete[] data_;
    data_ = fresh;
    capacity_ = capacity;
  }

  char16_t inline_[256];
  char16_t* data_ = inline_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 256;
};

}  // namespace kn::json::detail
