// The registry of the blocks our handles own: which handles NewHandleClear made, and their sizes.
#include <cstdint>
#include <mutex>

#include "Platform.h"

namespace {

constexpr size_t kSlots = 4096;  // a power of two
constexpr size_t kMostBlocks = kSlots / 4 * 3;

struct Slot {
    TW_HANDLE handle;
    size_t size;
};

// Constant-initialised and trivially destroyed: usable by handles made or disposed of in any
// other module's static constructors or destructors.
Slot g_slots[kSlots];
size_t g_count;
std::mutex g_mutex;

size_t Home(TW_HANDLE handle) {
    const uint64_t bits = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle) >> 4);
    return static_cast<size_t>((bits * 0x9E3779B97F4A7C15ull) >> 52) & (kSlots - 1);
}

size_t Next(size_t slot) { return (slot + 1) & (kSlots - 1); }

// The slot holding `handle`, or kSlots.
size_t Find(TW_HANDLE handle) {
    for (size_t slot = Home(handle); g_slots[slot].handle != nullptr; slot = Next(slot))
        if (g_slots[slot].handle == handle) return slot;
    return kSlots;
}

}  // namespace

void RememberBlock(TW_HANDLE handle, size_t size) {
    if (handle == nullptr) return;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_count >= kMostBlocks || Find(handle) != kSlots) return;
    size_t slot = Home(handle);
    while (g_slots[slot].handle != nullptr) slot = Next(slot);
    g_slots[slot] = {handle, size};
    ++g_count;
}

void ForgetBlock(TW_HANDLE handle) {
    if (handle == nullptr) return;
    std::lock_guard<std::mutex> lock(g_mutex);
    size_t hole = Find(handle);
    if (hole == kSlots) return;
    g_slots[hole].handle = nullptr;
    --g_count;
    // Linear probing without tombstones: later entries of the run move back into the hole unless
    // their home lies cyclically after it.
    for (size_t slot = Next(hole); g_slots[slot].handle != nullptr; slot = Next(slot)) {
        const size_t home = Home(g_slots[slot].handle);
        const bool stays = hole <= slot ? (hole < home && home <= slot) : (hole < home || home <= slot);
        if (stays) continue;
        g_slots[hole] = g_slots[slot];
        g_slots[slot].handle = nullptr;
        hole = slot;
    }
}

bool KnownBlock(TW_HANDLE handle, size_t* size) {
    if (handle == nullptr) return false;
    std::lock_guard<std::mutex> lock(g_mutex);
    const size_t slot = Find(handle);
    if (slot == kSlots) return false;
    *size = g_slots[slot].size;
    return true;
}
