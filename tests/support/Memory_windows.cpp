// The tests' memory at fixed addresses and before unreadable pages, from VirtualAlloc.
#include <windows.h>

#include <stdexcept>

#include "TestSupport.h"

FixedArena::FixedArena(uintptr_t address, size_t size) : m_base(address), m_size(size), m_used(0) {
    void* p = VirtualAlloc(reinterpret_cast<void*>(address), size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (p == nullptr || reinterpret_cast<uintptr_t>(p) != address)
        throw std::runtime_error("fixed arena: address is taken");
}

FixedArena::~FixedArena() { VirtualFree(reinterpret_cast<void*>(m_base), 0, MEM_RELEASE); }

GuardedBytes::GuardedBytes(size_t size) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const size_t page = info.dwPageSize;
    m_size = (size + page - 1) / page * page + 2 * page;
    void* map = VirtualAlloc(nullptr, m_size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (map == nullptr) throw std::runtime_error("guarded bytes: no memory");
    m_map = static_cast<char*>(map);
    char* const guard = m_map + m_size - page;
    DWORD previous;
    VirtualProtect(guard, page, PAGE_NOACCESS, &previous);
    m_data = guard - size;
}

GuardedBytes::~GuardedBytes() { VirtualFree(m_map, 0, MEM_RELEASE); }
