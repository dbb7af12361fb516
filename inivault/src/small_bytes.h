#pragma once
// A byte string held in the object itself up to N bytes, on the heap beyond.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string_view>

namespace inivault {

template <std::size_t N>
class SmallBytes {
  static_assert(N >= sizeof(char*), "room for the heap pointer");

 public:
  SmallBytes() noexcept = default;
  explicit SmallBytes(std::string_view s) { assign(s); }
  SmallBytes(SmallBytes&& other) noexcept { take(other); }
  SmallBytes& operator=(SmallBytes&& other) noexcept {
    if (this != &other) {
      release();
      take(other);
    }
    return *this;
  }
  SmallBytes(const SmallBytes& other) { assign(other.view()); }
  SmallBytes& operator=(const SmallBytes& other) {
    assign(other.view());
    return *this;
  }
  ~SmallBytes() { release(); }

  // `s` may be these very bytes.
  void assign(std::string_view s) {
    if (s.size() > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("SmallBytes");
    const auto n = static_cast<std::uint32_t>(s.size());
    if (n > N) {
      char* heap = new char[n];
      std::memcpy(heap, s.data(), n);
      release();
      std::memcpy(bytes_, &heap, sizeof heap);
    } else {
      char copy[N];
      if (n != 0) std::memcpy(copy, s.data(), n);
      release();
      if (n != 0) std::memcpy(bytes_, copy, n);
    }
    size_ = n;
  }
  // Frees what it holds, if anything.
  void clear() noexcept { release(); }

  std::size_t size() const noexcept { return size_; }
  std::string_view view() const noexcept { return {size_ > N ? heap() : bytes_, size_}; }

 private:
  char* heap() const noexcept {
    char* p;
    std::memcpy(&p, bytes_, sizeof p);
    return p;
  }
  void release() noexcept {
    if (size_ > N) delete[] heap();
    size_ = 0;
  }
  void take(SmallBytes& other) noexcept {
    size_ = other.size_;
    std::memcpy(bytes_, other.bytes_, N);
    other.size_ = 0;
  }

  std::uint32_t size_ = 0;
  char bytes_[N] = {};
};

}  // namespace inivault
