// How findings are printed: one line each, as text or as a JSON object.
#pragma once

#include <string>

#include "check/checker.h"

// FILE: [SECTION] KEY: SEVERITY: ACTION, and for errors " | message: "
// with the message on the same line (line breaks become blanks).
std::string FindingText(const std::string& file, const Finding& finding);
// {"file":...,"section":...,"key":...,"severity":...,"kind":...,
//  "action":...} with "message" and "caption" for errors.
std::string FindingJson(const std::string& file, const std::string& caption,
                        const Finding& finding);
// FILE: N errors, N warnings, N notes
std::string SummaryText(const std::string& file, const Checker& checker);

