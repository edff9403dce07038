// The lookups over the symbol tables: one scan, one fallback.
#include "twaintbl.h"

#include <cstdio>
#include <cstring>

const char* FindName(const MacroEntry* table, size_t named, int64_t probe) {
    const uint64_t wanted = static_cast<uint64_t>(probe);
    for (size_t i = 0; i < named; ++i) {
        if (table[i].value == wanted) return table[i].name;
    }
    return nullptr;
}

bool LookupName(const MacroEntry* table, size_t named, int64_t probe, char* dest) {
    if (const char* name = FindName(table, named, probe)) {
        const size_t len = strnlen(name, kNameSize - 1);
        memcpy(dest, name, len);
        dest[len] = '\0';
        return true;
    }
    snprintf(dest, kNameSize, "%s(%d)", table[named].name, static_cast<int32_t>(probe));
    return false;
}

bool LookupDatName(TW_UINT16 dat, char* dest) {
    return !IsVendorId(dat) ? LookupName(dat_macros, dat, dest) : LookupName(dat_kv_macros, dat, dest);
}

bool LookupMsgName(TW_UINT16 msg, char* dest) {
    return !IsVendorId(msg) ? LookupName(msg_macros, msg, dest) : LookupName(msg_kv_macros, msg, dest);
}

void LookupInCapabilityTables(bool vendor, TW_UINT16 value, char* dest) {
    if (vendor) {
        if (!LookupName(cap_kv_macros, value, dest)) LookupName(icap_kv_macros, value, dest);
    } else {
        if (!LookupName(cap_macros, value, dest)) LookupName(icap_macros, value, dest);
    }
}

const ValToCapEntry* FindValueTable(TW_UINT16 cap) {
    for (const ValToCapEntry* row = cap > 0x8000 ? VALTOCAPKV : VALTOCAP; row->cap != 0xFFFFFFFFu; ++row) {
        if (row->cap == cap) return row;
    }
    return nullptr;
}

bool LookupValueName(TW_UINT16 cap, TW_UINT16 value, char* dest) {
    const ValToCapEntry* row = FindValueTable(cap);
    if (row == nullptr) return false;
    LookupName(row->table, row->count - 1, value, dest);
    return true;
}
