// The scenarios the host plays, each the sequence of calls an application would make.
#pragma once

#include <string>
#include <vector>

#include "Application.h"

struct Scenario {
    const char* name;
    const char* description;
    void (*play)(CApplication& app);
};

const std::vector<Scenario>& Scenarios();
// Null when no scenario has that name.
const Scenario* FindScenario(const std::string& name);
