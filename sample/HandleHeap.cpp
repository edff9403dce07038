// The shared handle heap: a fixed-address mapping that starts with the heap's bookkeeping, then
// chunks handed out first-fit from an address-ordered free list that merges neighbours on release.
#include "HandleHeap.h"

#include "HeapMapping.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr uint64_t kHeapMagic = 0x3150414548564331ull;  // bumped whenever the layout below changes
constexpr uint64_t kLiveMark = ~0ull;
constexpr size_t kAlign = 16;
constexpr size_t kSmallestSplit = 64;

// Precedes every block. Offsets count from the start of the mapping; 0 ends the free list.
struct Chunk {
    uint64_t size;      // bytes of the chunk, this header included
    uint64_t nextFree;  // kLiveMark while the chunk is handed out
};

struct Heap {
    uint64_t magic;
    uint64_t top;       // first byte never handed out
    uint64_t freeHead;  // lowest free chunk
    uint64_t inUse;
};

constexpr uint64_t kFirstChunk = (sizeof(Heap) + kAlign - 1) & ~(kAlign - 1);

char* Base() { return reinterpret_cast<char*>(HeapAddress()); }
Chunk* At(uint64_t offset) { return reinterpret_cast<Chunk*>(Base() + offset); }
uint64_t OffsetOf(const void* p) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p) - HeapAddress());  // wraps for addresses below
}

// A heap another module of this process mapped already: its first page is there and carries the mark.
Heap* Existing() {
    if (!MappedAt(Base())) return nullptr;
    Heap* heap = reinterpret_cast<Heap*>(Base());
    return heap->magic == kHeapMagic ? heap : nullptr;
}

Heap* Attach() {
    switch (MapAt(Base(), HeapBytes())) {
        case Mapping::kMapped: {
            Heap* heap = reinterpret_cast<Heap*>(Base());
            heap->magic = kHeapMagic;
            heap->top = kFirstChunk;
            return heap;
        }
        case Mapping::kTaken: return Existing();
        case Mapping::kFailed: return nullptr;
    }
    return nullptr;
}

Heap* TheHeap() {
    static Heap* const heap = Attach();
    return heap;
}

Chunk* TakeFree(Heap* heap, uint64_t need) {
    uint64_t* link = &heap->freeHead;
    for (uint64_t offset = *link; offset != 0; link = &At(offset)->nextFree, offset = *link) {
        Chunk* chunk = At(offset);
        if (chunk->size < need) continue;
        if (chunk->size - need >= kSmallestSplit) {
            Chunk* rest = At(offset + need);
            rest->size = chunk->size - need;
            rest->nextFree = chunk->nextFree;
            chunk->size = need;
            *link = offset + need;
        } else {
            *link = chunk->nextFree;
        }
        return chunk;
    }
    return nullptr;
}

Chunk* TakeTop(Heap* heap, uint64_t need) {
    if (need > HeapBytes() - heap->top) return nullptr;
    Chunk* chunk = At(heap->top);
    chunk->size = need;
    heap->top += need;
    return chunk;
}

// Puts a chunk back in address order, merges it with free neighbours, and gives a free run that
// reaches the top back to the untouched part of the heap.
void Release(Heap* heap, uint64_t offset) {
    uint64_t previous = 0;
    uint64_t next = heap->freeHead;
    while (next != 0 && next < offset) {
        previous = next;
        next = At(next)->nextFree;
    }
    Chunk* chunk = At(offset);
    chunk->nextFree = next;
    if (next != 0 && offset + chunk->size == next) {
        chunk->size += At(next)->size;
        chunk->nextFree = At(next)->nextFree;
    }
    if (previous != 0 && previous + At(previous)->size == offset) {
        At(previous)->size += chunk->size;
        At(previous)->nextFree = chunk->nextFree;
        offset = previous;
        chunk = At(previous);
    } else if (previous != 0) {
        At(previous)->nextFree = offset;
    } else {
        heap->freeHead = offset;
    }
    if (offset + chunk->size == heap->top) {
        uint64_t* link = &heap->freeHead;
        while (*link != offset) link = &At(*link)->nextFree;
        *link = 0;  // nothing free lies above a run that reaches the top
        heap->top = offset;
    }
}

// The chunk of a block this heap handed out and has not taken back; null for anything else.
Chunk* LiveChunk(Heap* heap, const void* block) {
    if (heap == nullptr || block == nullptr) return nullptr;
    const uint64_t offset = OffsetOf(block);
    if (offset < kFirstChunk + sizeof(Chunk) || offset - sizeof(Chunk) >= heap->top || offset % kAlign != 0)
        return nullptr;
    Chunk* chunk = At(offset - sizeof(Chunk));
    return chunk->nextFree == kLiveMark ? chunk : nullptr;
}

}  // namespace

namespace handleheap {

void* NewBlock(size_t size) {
    Heap* heap = TheHeap();
    if (heap == nullptr || size > HeapBytes()) return nullptr;
    const uint64_t need = (std::max<size_t>(size, 1) + sizeof(Chunk) + kAlign - 1) & ~uint64_t(kAlign - 1);
    Chunk* chunk = TakeFree(heap, need);
    if (chunk == nullptr) chunk = TakeTop(heap, need);
    if (chunk == nullptr) return nullptr;
    chunk->nextFree = kLiveMark;
    heap->inUse += chunk->size;
    memset(chunk + 1, 0, chunk->size - sizeof(Chunk));  // chunks given back to the top are not clean
    return chunk + 1;
}

void DisposeBlock(void* block) {
    Heap* heap = TheHeap();
    Chunk* chunk = LiveChunk(heap, block);
    if (chunk == nullptr) return;
    heap->inUse -= chunk->size;
    Release(heap, OffsetOf(chunk));
}

size_t BlockSize(const void* block) {
    const Chunk* chunk = LiveChunk(TheHeap(), block);
    return chunk != nullptr ? static_cast<size_t>(chunk->size - sizeof(Chunk)) : 0;
}

size_t BytesInUse() {
    Heap* heap = TheHeap();
    return heap != nullptr ? static_cast<size_t>(heap->inUse) : 0;
}

#if defined(TRACEWELL_ABI_MACOS)

TW_HANDLE NewHandle(size_t size) {
    char** master = static_cast<char**>(NewBlock(sizeof(char*)));
    if (master == nullptr) return nullptr;
    *master = static_cast<char*>(NewBlock(size));
    if (*master == nullptr) {
        DisposeBlock(master);
        return nullptr;
    }
    return master;
}

void DisposeHandle(TW_HANDLE handle) {
    if (LiveChunk(TheHeap(), handle) == nullptr) return;
    DisposeBlock(*handle);
    DisposeBlock(handle);
}

size_t HandleSize(TW_HANDLE handle) {
    return LiveChunk(TheHeap(), handle) != nullptr ? BlockSize(*handle) : 0;
}

void* Lock(TW_HANDLE handle) { return handle != nullptr ? *handle : nullptr; }

#else

TW_HANDLE NewHandle(size_t size) { return NewBlock(size); }

void DisposeHandle(TW_HANDLE handle) { DisposeBlock(handle); }

size_t HandleSize(TW_HANDLE handle) { return BlockSize(handle); }

void* Lock(TW_HANDLE handle) { return handle; }

#endif

void Unlock(TW_HANDLE) {}

}  // namespace handleheap
