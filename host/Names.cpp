// Small tables of the codes the host prints; anything else prints as its number.
#include "Names.h"

namespace {

struct Name {
    TW_UINT16 value;
    const char* text;
};

#define NAME(x) {x, #x}

const Name kReturnCodes[] = {
    NAME(TWRC_SUCCESS),     NAME(TWRC_FAILURE),          NAME(TWRC_CHECKSTATUS),       NAME(TWRC_CANCEL),
    NAME(TWRC_DSEVENT),     NAME(TWRC_NOTDSEVENT),       NAME(TWRC_XFERDONE),          NAME(TWRC_ENDOFLIST),
    NAME(TWRC_INFONOTSUPPORTED), NAME(TWRC_DATANOTAVAILABLE),
};

const Name kConditionCodes[] = {
    NAME(TWCC_SUCCESS),         NAME(TWCC_BUMMER),          NAME(TWCC_LOWMEMORY),       NAME(TWCC_NODS),
    NAME(TWCC_MAXCONNECTIONS),  NAME(TWCC_OPERATIONERROR),  NAME(TWCC_BADCAP),          NAME(TWCC_BADPROTOCOL),
    NAME(TWCC_BADVALUE),        NAME(TWCC_SEQERROR),        NAME(TWCC_BADDEST),         NAME(TWCC_CAPUNSUPPORTED),
    NAME(TWCC_CAPBADOPERATION), NAME(TWCC_CAPSEQERROR),     NAME(TWCC_DENIED),          NAME(TWCC_FILEEXISTS),
    NAME(TWCC_FILENOTFOUND),    NAME(TWCC_NOTEMPTY),        NAME(TWCC_PAPERJAM),        NAME(TWCC_PAPERDOUBLEFEED),
    NAME(TWCC_FILEWRITEERROR),  NAME(TWCC_CHECKDEVICEONLINE),
};

#undef NAME

template <size_t N>
std::string Lookup(const Name (&table)[N], TW_UINT16 value) {
    for (const Name& name : table) {
        if (name.value == value) return name.text;
    }
    return std::to_string(value);
}

}  // namespace

std::string ReturnCodeName(TW_UINT16 rc) { return Lookup(kReturnCodes, rc); }

std::string ConditionCodeName(TW_UINT16 cc) { return Lookup(kConditionCodes, cc); }
