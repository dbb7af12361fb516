#pragma once
// Storage for the member lists and nested nodes of a document. During a parse they are
// carved from larger blocks instead of one heap allocation each (the heap calls and their
// teardown were most of the parse time). Every piece records its block, so it can be
// freed later from anywhere, on any thread; a block is emptied with its last piece (and
// waits for the next parse, or returns to the heap), so a nested node kept after its
// document keeps only its own block alive.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>

namespace kn::json::detail {

// Pieces are aligned to this; every type stored in them must need no more.
inline constexpr std::size_t kPieceAlign = 8;
// Larger pieces go to the heap: they are few, and would leave blocks half empty.
inline constexpr std::size_t kMaxCarved = 2048;

void* AllocatePiece(std::size_t bytes);
void FreePiece(void* piece) noexcept;
// Gives the end of a piece back when it is the last one the active arena carved; a piece
// of `bytes` then keeps only `keep` of them. Otherwise nothing changes.
void ShrinkPiece(void* piece, std::size_t bytes, std::size_t keep) noexcept;

struct PieceBlock;

// Each piece starts with the block it came from (null: the heap), padded to the alignment.
struct alignas(kPieceAlign) PieceHeader {
  PieceBlock* block;
};

// While one is alive, pieces allocated on its thread come from its blocks; otherwise
// from the heap. Only the parser makes one, around a parse, and nothing else runs there.
class ParseArena {
 public:
  ParseArena();
  ~ParseArena();
  ParseArena(const ParseArena&) = delete;
  ParseArena& operator=(const ParseArena&) = delete;

  // At most kMaxCarved bytes.
  void* Carve(std::size_t bytes) {
    const std::size_t need = sizeof(PieceHeader) + Rounded(bytes);
    if (static_cast<std::size_t>(limit_ - cursor_) < need) return CarveFromNewBlock(need);
    auto* header = ::new (static_cast<void*>(cursor_)) PieceHeader{block_};
    cursor_ += need;
    ++carved_;
    return header + 1;
  }
  void Shrink(void* piece, std::size_t bytes, std::size_t keep) noexcept;

 private:
  static std::size_t Rounded(std::size_t bytes) {
    return (bytes + kPieceAlign - 1) / kPieceAlign * kPieceAlign;
  }
  void* CarveFromNewBlock(std::size_t need);
  void Seal() noexcept;

  ParseArena* previous_;
  PieceBlock* block_ = nullptr;
  // The free room of block_.
  unsigned char* cursor_ = nullptr;
  unsigned char* limit_ = nullptr;
  std::size_t carved_ = 0;  // pieces of block_ so far, counted into it when sealed
  std::size_t next_size_;
  std::size_t used_ = 0;  // bytes of all its blocks
};

// While one is alive, a piece freed on its thread is only counted against its block; the
// block takes the count when the next piece comes from another block or the batch ends.
// Tearing a tree down then costs one atomic step per block instead of one per piece.
class FreeBatch {
 public:
  FreeBatch() noexcept;
  ~FreeBatch();
  FreeBatch(const FreeBatch&) = delete;
  FreeBatch& operator=(const FreeBatch&) = delete;

  void Add(PieceBlock* block) noexcept;
  // FreePiece for a caller holding the batch: a piece from the block of the one before
  // costs no call.
  void Free(void* piece) noexcept {
    if (!piece) return;
    PieceBlock* const block = (static_cast<PieceHeader*>(piece) - 1)->block;
    if (block && block == block_) {
      ++count_;
    } else {
      FreePiece(piece);
    }
  }

 private:
  FreeBatch* previous_;
  PieceBlock* block_ = nullptr;
  std::size_t count_ = 0;
};

// Stateless: any instance frees any piece.
template <typename T>
class PieceAllocator {
 public:
  using value_type = T;

  PieceAllocator() noexcept = default;
  template <typename U>
  PieceAllocator(const PieceAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    static_assert(alignof(T) <= kPieceAlign, "piece storage is not aligned enough");
    if (n > std::numeric_limits<std::size_t>::max() / sizeof(T) - kPieceAlign)
      throw std::bad_array_new_length();
    return static_cast<T*>(AllocatePiece(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t) noexcept { FreePiece(p); }

  template <typename U>
  friend bool operator==(const PieceAllocator&, const PieceAllocator<U>&) noexcept {
    return true;
  }
};

// A growable array in one piece, two thirds the size of a std::vector: nodes are many.
// T's moves must not throw.
template <typename T>
class PieceArray {
 public:
  PieceArray() noexcept = default;
  PieceArray(PieceArray&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  PieceArray& operator=(PieceArray&& other) noexcept {
    PieceArray old(std::move(*this));
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    return *this;
  }
  PieceArray(const PieceArray&) = delete;
  PieceArray& operator=(const PieceArray&) = delete;
  ~PieceArray() {
    clear();
    if (data_) FreePiece(data_);
  }

  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  T* begin() noexcept { return data_; }
  T* end() noexcept { return data_ + size_; }
  const T* begin() const noexcept { return data_; }
  const T* end() const noexcept { return data_ + size_; }
  T& operator[](std::size_t i) noexcept { return data_[i]; }
  const T& operator[](std::size_t i) const noexcept { return data_[i]; }
  T& back() noexcept { return data_[size_ - 1]; }

  void reserve(std::size_t n) {
    if (n > capacity_) Reallocate(n);
  }
  template <typename... Args>
  T& emplace_back(Args&&... args) {
    if (size_ == capacity_) return GrowAndEmplace(std::forward<Args>(args)...);
    ::new (static_cast<void*>(data_ + size_)) T(std::forward<Args>(args)...);
    return data_[size_++];
  }
  // Destroys the elements; the storage stays.
  void clear() noexcept {
    for (std::size_t i = size_; i > 0; --i) data_[i - 1].~T();
    size_ = 0;
  }
  // Forgets the elements without destroying them: for elements already emptied.
  void Forget() noexcept { size_ = 0; }
  // Forgets the elements and hands over the storage, to be freed by the caller.
  void* Abandon() noexcept {
    size_ = capacity_ = 0;
    return std::exchange(data_, nullptr);
  }
  // Removes [first, last), later elements moving up.
  void erase(T* first, T* last) noexcept {
    T* out = first;
    for (T* in = last; in != data_ + size_; ++in, ++out) *out = std::move(*in);
    for (T* p = out; p != data_ + size_; ++p) p->~T();
    size_ = static_cast<std::uint32_t>(out - data_);
  }
  // Empty array only: takes [first, last) into storage of exactly that size. The bytes
  // move, as the parser's values and members allow (texts, plain kinds and shared
  // references own nothing by their address); the originals are then bare storage, to be
  // forgotten, never destroyed.
  void take(T* first, T* last) {
    const auto n = static_cast<std::size_t>(last - first);
    if (n == 0) return;
    if (n > capacity_) {
      FreePiece(data_);
      data_ = nullptr;
      capacity_ = 0;
      data_ = Allocate(n);
      capacity_ = static_cast<std::uint32_t>(n);
    }
    std::memcpy(static_cast<void*>(data_), static_cast<const void*>(first), n * sizeof(T));
    size_ = static_cast<std::uint32_t>(n);
  }

 private:
  static_assert(alignof(T) <= kPieceAlign, "piece storage is not aligned enough");

  static T* Allocate(std::size_t n) {
    if (n > std::numeric_limits<std::uint32_t>::max() ||
        n > std::numeric_limits<std::size_t>::max() / sizeof(T))
      throw std::length_error("PieceArray");
    return static_cast<T*>(AllocatePiece(n * sizeof(T)));
  }
  // The new element first: an argument may live in the old storage.
  template <typename... Args>
#if defined(_MSC_VER)
  __declspec(noinline)
#else
  __attribute__((noinline))
#endif
      T& GrowAndEmplace(Args&&... args) {
    const std::size_t capacity = Grown(size_ + 1);
    T* fresh = Allocate(capacity);
    ::new (static_cast<void*>(fresh + size_)) T(std::forward<Args>(args)...);
    MoveInto(fresh);
    data_ = fresh;
    capacity_ = static_cast<std::uint32_t>(capacity);
    return data_[size_++];
  }
  std::size_t Grown(std::size_t need) const {
    std::size_t capacity = capacity_ < 4 ? 4 : std::size_t{capacity_} * 2;
    return capacity < need ? need : capacity;
  }
  // Moves the elements to `fresh` and frees the old storage.
  void MoveInto(T* fresh) noexcept {
    for (std::size_t i = 0; i < size_; ++i) {
      ::new (static_cast<void*>(fresh + i)) T(std::move(data_[i]));
      data_[i].~T();
    }
    FreePiece(data_);
  }
  void Reallocate(std::size_t capacity) {
    T* fresh = Allocate(capacity);
    MoveInto(fresh);
    data_ = fresh;
    capacity_ = static_cast<std::uint32_t>(capacity);
  }

  T* data_ = nullptr;
  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = 0;
};

}  // namespace kn::json::detail
