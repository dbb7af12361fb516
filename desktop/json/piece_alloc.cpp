#include "json/piece_alloc.h"

#include <atomic>
#include <cstdint>

namespace kn::json::detail {

struct alignas(kPieceAlign) PieceBlock {
  // Pieces alive, plus kOpen while an arena still carves from the block.
  std::atomic<std::size_t> refs;
  std::size_t size;  // bytes after this header
  unsigned char* Data() { return reinterpret_cast<unsigned char*>(this + 1); }
};

namespace {

constexpr std::size_t kHeader = sizeof(PieceHeader);
static_assert(kHeader % kPieceAlign == 0);

constexpr std::size_t kFirstBlock = 4096;
// Below the size whose free makes the heap merge all its small free chunks.
constexpr std::size_t kLastBlock = 32768;
constexpr std::size_t kOpen = std::size_t{1} << (std::numeric_limits<std::size_t>::digits - 2);

thread_local ParseArena* active_arena = nullptr;
thread_local FreeBatch* active_batch = nullptr;

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
    if (FreeBatch* batch = active_batch) {
      batch->Add(header->block);
    } else {
      Release(header->block, 1);
    }
  } else {
    ::operator delete(static_cast<void*>(header));
  }
}

void ShrinkPiece(void* piece, std::size_t bytes, std::size_t keep) noexcept {
  if (ParseArena* arena = active_arena; arena && bytes <= kMaxCarved) arena->Shrink(piece, bytes, keep);
}

FreeBatch::FreeBatch() noexcept : previous_(active_batch) { active_batch = this; }

FreeBatch::~FreeBatch() {
  if (block_) Release(block_, count_);
  active_batch = previous_;
}

void FreeBatch::Add(PieceBlock* block) noexcept {
  if (block == block_) {
    ++count_;
    return;
  }
  if (block_) Release(block_, count_);
  block_ = block;
  count_ = 1;
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
  cursor_ = limit_ = nullptr;
}

void ParseArena::Shrink(void* piece, std::size_t bytes, std::size_t keep) noexcept {
  if (!block_ || keep > bytes) return;
  unsigned char* const end = static_cast<unsigned char*>(piece) + Rounded(bytes);
  if (end != cursor_) return;
  cursor_ -= Rounded(bytes) - Rounded(keep);
}

void* ParseArena::CarveFromNewBlock(std::size_t need) {
  const std::size_t size = next_size_;
  void* raw = ::operator new(sizeof(PieceBlock) + size);
  Seal();
  block_ = ::new (raw) PieceBlock{{kOpen}, size};
  cursor_ = block_->Data();
  limit_ = cursor_ + size;
  carved_ = 0;
  if (next_size_ < kLastBlock) next_size_ *= 2;
  auto* header = ::new (static_cast<void*>(cursor_)) PieceHeader{block_};
  cursor_ += need;
  ++carved_;
  return header + 1;
}

}  // namespace kn::json::detail
