#include "json_ref/piece_alloc.h"

#include <atomic>
#include <cstdint>

namespace kn::json_ref::detail {

struct alignas(kPieceAlign) PieceBlock {
  // Pieces alive, plus kOpen while an arena still carves from the block.
  std::atomic<std::size_t> refs;
  std::size_t size;  // bytes after this header
  unsigned char* Data() { return reinterpret_cast<unsigned char*>(this + 1); }
};

namespace {

// Each piece starts with the block it came from (null: the heap), padded to the alignment.
struct alignas(kPieceAlign) PieceHeader {
  PieceBlock* block;
};
constexpr std::size_t kHeader = sizeof(PieceHeader);
static_assert(kHeader % kPieceAlign == 0);

// Larger pieces go to the heap: they are few, and would leave blocks half empty.
constexpr std::size_t kMaxCarved = 2048;
constexpr std::size_t kFirstBlock = 4096;
// Below the size whose free makes the heap merge all its small free chunks.
constexpr std::size_t kLastBlock = 32768;
constexpr std::size_t kOpen = std::size_t{1} << (std::numeric_limits<std::size_t>::digits - 2);

thread_local ParseArena* active_arena = nullptr;

void FreeBlock(PieceBlock* block) noexcept {
  block->~PieceBlock();
  ::operator delete(static_cast<void*>(block));
}

void Release(PieceBlock* block, std::size_t count) noexcept {
  if (block->refs.fetch_sub(count, std::memory_order_acq_rel) == count) FreeBlock(block);
}

}  // namespace

void* AllocatePiece(std::size_t bytes) {
  if (ParseArena* arena = active_arena; arena && bytes <= kMaxCarved) return arena->Carve(bytes);
  auto* header = static_cast<PieceHeader*>(::operator new(kHeader + bytes));
  header->block = nullptr;
  return header + 1;
}

void FreePiece(void* piece) noexcept {
  if (!piece) return;
  PieceHeader* header = static_cast<PieceHeader*>(piece) - 1;
  if (header->block) {
    Release(header->block, 1);
  } else {
    ::operator delete(static_cast<void*>(header));
  }
}

ParseArena::ParseArena() : previous_(active_arena), next_size_(kFirstBlock) { active_arena = this; }

ParseArena::~ParseArena() {
  Seal();
  active_arena = previous_;
}

void ParseArena::Seal() noexcept {
  if (!block_) return;
  Release(block_, kOpen - carved_);
  block_ = nullptr;
}

void* ParseArena::Carve(std::size_t bytes) {
  const std::size_t need = kHeader + (bytes + kPieceAlign - 1) / kPieceAlign * kPieceAlign;
  if (!block_ || block_->size - used_ < need) {
    const std::size_t size = next_size_;
    void* raw = ::operator new(sizeof(PieceBlock) + size);
    Seal();
    block_ = ::new (raw) PieceBlock{{kOpen}, size};
    used_ = 0;
    carved_ = 0;
    if (next_size_ < kLastBlock) next_size_ *= 2;
  }
  auto* header = reinterpret_cast<PieceHeader*>(block_->Data() + used_);
  header->block = block_;
  used_ += need;
  ++carved_;
  return header + 1;
}

}  // namespace kn::json_ref::detail
