// The three forms of a report: text for people, one JSON document for scripts, one XHTML page.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "Checker.h"
#include "SessionSummary.h"

namespace tracereport {

struct FileResult {
    std::string path;
    bool read = false;
    std::string error;
    long lines = 0;
    int loads = 0;
    long calls = 0;
};

// With `findings`, the load's findings as well.
void WriteTextLoad(const LoadSummary& load, std::ostream& out, const tracecheck::LoadFindings* findings = nullptr);
void WriteTextFile(const FileResult& file, std::ostream& out);

// One JSON object for a load; the caller writes the document around the objects.
void WriteJsonLoad(const LoadSummary& load, std::ostream& out, const tracecheck::LoadFindings* findings = nullptr);
void WriteJsonFile(const FileResult& file, std::ostream& out);

// The page: reads the files a second time for each call's text. False with a reason when the
// page cannot be written.
bool WriteHtml(const std::vector<FileResult>& files, const std::vector<LoadSummary>& loads,
               const std::vector<tracecheck::LoadFindings>& findings, const std::string& path, std::string* error);

// "0.120 ms", "7 min 2.5 s"
std::string Duration(double ms);

}  // namespace tracereport
