#include "json/piece_alloc.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <utility>

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

void DeleteBlock(PieceBlock* block) noexcept {
  block->~PieceBlock();
  ::operator delete(static_cast<void*>(block));
}

// Emptied blocks wait here for the next parse instead of going back to the heap: the C
// library would otherwise hand a large tree's memory back to the system after each
// document and take it again, page by page, for the next one. It keeps what the latest
// parse needed (at least kKeptAlways), so one large document does not pin its memory
// while only small ones follow.
class BlockPool {
 public:
  // A block of exactly `size` data bytes, or nullptr.
  PieceBlock* Take(std::size_t size) noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    Spare*& head = spare_[Class(size)];
    Spare* spare = head;
    if (!spare) return nullptr;
    head = spare->next;
    bytes_ -= size;
    return reinterpret_cast<PieceBlock*>(spare);
  }
  void Put(PieceBlock* block) noexcept {
    const std::size_t size = block->size;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (bytes_ + size <= limit_.load(std::memory_order_relaxed)) {
        block->~PieceBlock();
        Spare*& head = spare_[Class(size)];
        head = ::new (static_cast<void*>(block)) Spare{head};
        bytes_ += size;
        return;
      }
    }
    DeleteBlock(block);
  }
  // A parse that used `bytes` of blocks has ended.
  void Keep(std::size_t bytes) noexcept {
    const std::size_t limit = bytes < kKeptAlways ? kKeptAlways : bytes;
    // Nothing changes, and the pool holds no more than that (as after every small
    // document): no need to wait for the lock.
    if (limit == kKeptAlways && limit_.load(std::memory_order_relaxed) == kKeptAlways) return;
    Spare* surplus = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      limit_.store(limit, std::memory_order_relaxed);
      // Largest blocks first: the small ones start the next parse.
      for (std::size_t c = kClasses; c > 0 && bytes_ > limit; --c) {
        while (spare_[c - 1] && bytes_ > limit) {
          Spare* spare = spare_[c - 1];
          spare_[c - 1] = spare->next;
          bytes_ -= kFirstBlock << (c - 1);
          spare->next = surplus;
          surplus = spare;
        }
      }
    }
    while (surplus) {
      Spare* next = surplus->next;
      ::operator delete(static_cast<void*>(surplus));
      surplus = next;
    }
  }

 private:
  static constexpr std::size_t kClasses = 4;  // kFirstBlock doubled up to kLastBlock
  static constexpr std::size_t kKeptAlways = 4 * kLastBlock;
  static_assert(kFirstBlock << (kClasses - 1) == kLastBlock);

  struct Spare {
    Spare* next;
  };
  static std::size_t Class(std::size_t size) noexcept {
    std::size_t c = 0;
    while ((kFirstBlock << c) < size) ++c;
    return c;
  }

  std::mutex mutex_;
  Spare* spare_[kClasses] = {};
  std::size_t bytes_ = 0;
  // Changed under the lock only; read without it where a stale value does no harm.
  std::atomic<std::size_t> limit_{kKeptAlways};
};

// Never destroyed: blocks of nodes that outlive static objects still come back to it.
BlockPool& Pool() {
  static BlockPool* const pool = new BlockPool;
  return *pool;
}

// Besides, each thread keeps one block of the first size outside the pool: a small
// document needs only that one, and the pool's lock was a good part of such a parse.
thread_local PieceBlock* thread_spare = nullptr;
// Set once the thread's guard below is gone: from then on blocks go to the pool.
thread_local bool thread_spare_closed = false;

struct ThreadSpareGuard {
  ~ThreadSpareGuard() {
    thread_spare_closed = true;
    if (PieceBlock* block = std::exchange(thread_spare, nullptr)) Pool().Put(block);
  }
};

PieceBlock* TakeBlock(std::size_t size) noexcept {
  if (size == kFirstBlock && thread_spare) return std::exchange(thread_spare, nullptr);
  return Pool().Take(size);
}

void FreeBlock(PieceBlock* block) noexcept {
  if (block->size == kFirstBlock && !thread_spare && !thread_spare_closed) {
    // Made on the first pass, so that the thread's end hands the block on.
    static thread_local ThreadSpareGuard guard;
    (void)guard;
    thread_spare = block;
    return;
  }
  Pool().Put(block);
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
  Pool().Keep(used_);
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
  void* raw = TakeBlock(size);
  if (!raw) raw = ::operator new(sizeof(PieceBlock) + size);
  Seal();
  block_ = ::new (raw) PieceBlock{{kOpen}, size};
  used_ += size;
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
