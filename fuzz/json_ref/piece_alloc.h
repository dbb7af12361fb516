#pragma once
// Storage for the member lists and nested nodes of a document. During a parse they are
// carved from larger blocks instead of one heap allocation each (the heap calls and their
// teardown were most of the parse time). Every piece records its block, so it can be
// freed later from anywhere, on any thread; a block returns to the heap with its last
// piece, so a nested node kept after its document keeps only its own block alive.
#include <cstddef>
#include <limits>
#include <new>

namespace kn::json_ref::detail {

// Pieces are aligned to this; every type stored in them must need no more.
inline constexpr std::size_t kPieceAlign = 8;

void* AllocatePiece(std::size_t bytes);
void FreePiece(void* piece) noexcept;

struct PieceBlock;

// While one is alive, pieces allocated on its thread come from its blocks; otherwise
// from the heap. Only the parser makes one, around a parse, and nothing else runs there.
class ParseArena {
 public:
  ParseArena();
  ~ParseArena();
  ParseArena(const ParseArena&) = delete;
  ParseArena& operator=(const ParseArena&) = delete;

  void* Carve(std::size_t bytes);

 private:
  void Seal() noexcept;

  ParseArena* previous_;
  PieceBlock* block_ = nullptr;
  std::size_t used_ = 0;
  std::size_t carved_ = 0;  // pieces of block_ so far, counted into it when sealed
  std::size_t next_size_;
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

}  // namespace kn::json_ref::detail
