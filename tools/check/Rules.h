// The protocol rules `tracewell check` holds a trace against: one table of identifiers, severities,
// parties at fault, rule texts and where the standard states each rule.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tracecheck {

enum class Severity { Error, Warning, Info };
enum class Party { Application, Source, SourceManager };

struct Rule {
    const char* id;         // "TW-STATE-0001": never reused, never renumbered
    Severity severity;
    Party party;
    const char* title;      // what went wrong, in a few words
    const char* text;       // the rule as the standard has it
    const char* reference;  // where the standard states it
};

const std::vector<Rule>& Rules();
// Null when no rule has that identifier.
const Rule* FindRule(const std::string& id);

const char* SeverityName(Severity severity);  // "error", "warning", "info"
const char* PartyName(Party party);           // "application", "source", "Source Manager"

// The table as text, one rule per block, in the table's order.
void WriteRuleTable(std::ostream& out);

}  // namespace tracecheck
