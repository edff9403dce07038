// The table of protocol rules and its text form.
#include "Rules.h"

namespace tracecheck {

namespace {

constexpr Severity E = Severity::Error;
constexpr Severity W = Severity::Warning;
constexpr Severity I = Severity::Info;
constexpr Party App = Party::Application;
constexpr Party Src = Party::Source;
constexpr Party Dsm = Party::SourceManager;

// A new rule takes the next number of its family; a rule that is dropped leaves its number unused.
const std::vector<Rule> kRules = {
    {"TW-STATE-0001", E, App, "triplet sent in a state where it is not valid",
     "An application sends each triplet only in the states listed for it. DG_CONTROL/DAT_CAPABILITY MSG_SET, "
     "MSG_SETCONSTRAINT, MSG_RESET and MSG_RESETALL are valid in states 5 to 7 only for the capabilities the "
     "application set in CAP_EXTENDEDCAPS.",
     "TWAIN 2.5, Technical Overview, The State-Based Protocol; Operation Triplets, Valid States of the triplet"},
    {"TW-STATE-0002", E, Src, "triplet out of its states answered with success",
     "A source that receives a triplet in a state where it is not valid answers TWRC_FAILURE with the condition "
     "code TWCC_SEQERROR, and its state does not change.",
     "TWAIN 2.5, Operation Triplets, Valid States of the triplet; Return Codes and Condition Codes, TWCC_SEQERROR"},
    {"TW-STATE-0003", E, Src, "triplet out of its states refused with another condition than TWCC_SEQERROR",
     "A source that refuses a triplet because of the state it is in gives the condition code TWCC_SEQERROR.",
     "TWAIN 2.5, Return Codes and Condition Codes, TWCC_SEQERROR"},
    {"TW-STATE-0004", E, Dsm, "entry points given to a source that is open already",
     "The Source Manager gives a TWAIN 2 source its entry points with DG_CONTROL/DAT_ENTRYPOINT/MSG_SET in "
     "state 3, before it opens the source.",
     "TWAIN 2.5, Operation Triplets, DG_CONTROL/DAT_ENTRYPOINT/MSG_SET"},
    {"TW-STATE-0005", E, Src, "MSG_XFERREADY outside state 5",
     "A source announces a transfer (MSG_XFERREADY) only while it is enabled and no transfer is pending: in "
     "state 5, which the message moves to 6.",
     "TWAIN 2.5, Operation Triplets, DG_CONTROL/DAT_NULL/MSG_XFERREADY"},
    {"TW-STATE-0006", E, Src, "MSG_CLOSEDSOK without MSG_ENABLEDSUIONLY",
     "A source sends MSG_CLOSEDSOK only when it was enabled with MSG_ENABLEDSUIONLY, to say that the user "
     "pressed OK in its window of settings.",
     "TWAIN 2.5, Operation Triplets, DG_CONTROL/DAT_NULL/MSG_CLOSEDSOK; DG_CONTROL/DAT_USERINTERFACE/"
     "MSG_ENABLEDSUIONLY"},
    {"TW-STATE-0007", E, Src, "MSG_CLOSEDSREQ while the source is not enabled",
     "A source asks to be closed (MSG_CLOSEDSREQ) only while it is enabled: in states 5 to 7.",
     "TWAIN 2.5, Operation Triplets, DG_CONTROL/DAT_NULL/MSG_CLOSEDSREQ"},

    {"TW-CAP-0001", E, Src, "enumeration index outside its items",
     "The CurrentIndex and DefaultIndex of a TW_ENUMERATION are indexes into its ItemList: below NumItems.",
     "TWAIN 2.5, Data Types and Data Structures, TW_ENUMERATION"},
    {"TW-CAP-0002", E, Src, "range whose minimum is above its maximum",
     "The MinValue of a TW_RANGE is not above its MaxValue.",
     "TWAIN 2.5, Data Types and Data Structures, TW_RANGE"},
    {"TW-CAP-0003", E, Src, "range value that its steps do not reach",
     "The CurrentValue and DefaultValue of a TW_RANGE lie between MinValue and MaxValue, a whole number of "
     "StepSize above MinValue.",
     "TWAIN 2.5, Data Types and Data Structures, TW_RANGE"},
    {"TW-CAP-0004", E, Src, "container of another item type than the capability's",
     "A source answers a capability with items of the type the standard gives that capability.",
     "TWAIN 2.5, Capabilities, the capability's Type"},
    {"TW-CAP-0005", E, App, "value set with another item type than the capability's",
     "An application sets a capability with items of the type the standard gives that capability.",
     "TWAIN 2.5, Capabilities, the capability's Type; Operation Triplets, DG_CONTROL/DAT_CAPABILITY/MSG_SET"},
    {"TW-CAP-0006", E, Src, "MSG_QUERYSUPPORT contradicted by the session",
     "The flags a source answers MSG_QUERYSUPPORT with (TWQC_GET, TWQC_SET, TWQC_GETDEFAULT, TWQC_GETCURRENT, "
     "TWQC_RESET, TWQC_SETCONSTRAINT) are the messages it supports for that capability: it does not carry out "
     "one it left out, and it does not refuse one it named as a bad operation (TWCC_CAPBADOPERATION).",
     "TWAIN 2.5, Operation Triplets, DG_CONTROL/DAT_CAPABILITY/MSG_QUERYSUPPORT"},
    {"TW-CAP-0007", E, Src, "capability listed but refused as unsupported",
     "Every capability in CAP_SUPPORTEDCAPS is one the source supports: it does not answer MSG_GET of it with "
     "TWCC_CAPUNSUPPORTED.",
     "TWAIN 2.5, Capabilities, CAP_SUPPORTEDCAPS"},
    {"TW-CAP-0008", W, Src, "value set is not the value read back",
     "A source that accepts a MSG_SET with TWRC_SUCCESS uses the value it was given; one that uses another "
     "answers TWRC_CHECKSTATUS. Here a later MSG_GETCURRENT, with no other capability set in between, reports "
     "another value.",
     "TWAIN 2.5, Operation Triplets, DG_CONTROL/DAT_CAPABILITY/MSG_SET (TWRC_CHECKSTATUS)"},
    {"TW-CAP-0009", E, Src, "value outside the allowed values accepted",
     "A source refuses a value outside the values it reported as allowed (TWRC_FAILURE with TWCC_BADVALUE), or "
     "answers TWRC_CHECKSTATUS with the nearest value it allows; it does not answer TWRC_SUCCESS.",
     "TWAIN 2.5, Operation Triplets, DG_CONTROL/DAT_CAPABILITY/MSG_SET"},

    {"TW-XFER-0001", W, App, "page transferred without DAT_IMAGEINFO",
     "An application reads DG_IMAGE/DAT_IMAGEINFO/MSG_GET in state 6 before it transfers each image, to learn "
     "its size, pixel type and resolution.",
     "TWAIN 2.5, Operation Triplets, DG_IMAGE/DAT_IMAGEINFO/MSG_GET"},
    {"TW-XFER-0002", E, Src, "memory strips that do not cover the image",
     "The strips of an uncompressed memory transfer follow one another (each YOffset the rows before it) and "
     "together hold the ImageLength rows DAT_IMAGEINFO announced.",
     "TWAIN 2.5, Operation Triplets, DG_IMAGE/DAT_IMAGEMEMXFER/MSG_GET; Data Types and Data Structures, "
     "TW_IMAGEMEMXFER"},
    {"TW-XFER-0003", E, Src, "strip rows shorter than the image's width",
     "A strip of an uncompressed memory transfer holds whole rows: BytesPerRow is at least ImageWidth times "
     "BitsPerPixel bits.",
     "TWAIN 2.5, Data Types and Data Structures, TW_IMAGEMEMXFER"},
    {"TW-XFER-0004", E, Src, "more bytes written than the buffer holds",
     "A source writes at most Memory.Length bytes into the application's buffer: BytesWritten is not above it.",
     "TWAIN 2.5, Data Types and Data Structures, TW_IMAGEMEMXFER"},
    {"TW-XFER-0005", E, Src, "pending count that the session contradicts",
     "The Count MSG_ENDXFER reports is the number of transfers still pending: a count of N is followed by "
     "N more transfers, each MSG_ENDXFER one less, unless the application stops them (MSG_RESET, "
     "MSG_STOPFEEDER).",
     "TWAIN 2.5, Operation Triplets, DG_CONTROL/DAT_PENDINGXFERS/MSG_ENDXFER; Data Types and Data Structures, "
     "TW_PENDINGXFERS"},

    {"TW-STATUS-0001", I, App, "failure whose reason was never asked",
     "After TWRC_FAILURE an application asks the source why with DG_CONTROL/DAT_STATUS/MSG_GET before its "
     "next call, which would replace the condition code.",
     "TWAIN 2.5, Operation Triplets, DG_CONTROL/DAT_STATUS/MSG_GET"},
    {"TW-STATUS-0002", E, Src, "condition code lost after a failure",
     "A source keeps the condition code of a failure for the DG_CONTROL/DAT_STATUS/MSG_GET that follows it: "
     "that call does not report TWCC_SUCCESS.",
     "TWAIN 2.5, Operation Triplets, DG_CONTROL/DAT_STATUS/MSG_GET; Return Codes and Condition Codes"},
    {"TW-DATA-0001", E, Src, "the source changed what the application sent",
     "A source reads, and does not write, what the application fills in for it: the container of a MSG_SET or "
     "MSG_SETCONSTRAINT, ShowUI and hParent of DAT_USERINTERFACE, DAT_SETUPFILEXFER and DAT_IMAGELAYOUT on "
     "MSG_SET, and the buffer (Memory) the application gives DAT_IMAGEMEMXFER.",
     "TWAIN 2.5, Operation Triplets, the triplet named; Data Types and Data Structures"},
};

}  // namespace

const std::vector<Rule>& Rules() { return kRules; }

const Rule* FindRule(const std::string& id) {
    for (const Rule& rule : kRules) {
        if (id == rule.id) return &rule;
    }
    return nullptr;
}

const char* SeverityName(Severity severity) {
    switch (severity) {
        case Severity::Error: return "error";
        case Severity::Warning: return "warning";
        case Severity::Info: return "info";
    }
    return "?";
}

const char* PartyName(Party party) {
    switch (party) {
        case Party::Application: return "application";
        case Party::Source: return "source";
        case Party::SourceManager: return "Source Manager";
    }
    return "?";
}

void WriteRuleTable(std::ostream& out) {
    for (const Rule& rule : kRules) {
        out << rule.id << "  " << SeverityName(rule.severity) << "  " << PartyName(rule.party) << "  " << rule.title
            << "\n    " << rule.text << "\n    " << rule.reference << "\n";
    }
}

}  // namespace tracecheck
