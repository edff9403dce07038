// The tests' memory at fixed addresses and before unreadable pages, from mmap.
#include <sys/mman.h>
#include <unistd.h>

#include <stdexcept>

#include "TestSupport.h"

FixedArena::FixedArena(uintptr_t address, size_t size) : m_base(address), m_size(size), m_used(0) {
    void* p = mmap(reinterpret_cast<void*>(address), size, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    if (p == MAP_FAILED || reinterpret_cast<uintptr_t>(p) != address)
        throw std::runtime_error("fixed arena: address is taken");
}

FixedArena::~FixedArena() { munmap(reinterpret_cast<void*>(m_base), m_size); }

GuardedBytes::GuardedBytes(size_t size) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    m_size = (size + page - 1) / page * page + 2 * page;
    void* map = mmap(nullptr, m_size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) throw std::runtime_error("guarded bytes: no memory");
    m_map = static_cast<char*>(map);
    char* const guard = m_map + m_size - page;
    mprotect(guard, page, PROT_NONE);
    m_data = guard - size;
}

GuardedBytes::~GuardedBytes() { munmap(m_map, m_size); }
