// The footprint table of docs/footprint.md, read by the tests that check
// it: one row per change the install or the uninstall makes.
//
//   | Branch | Step | Object | Path | Change | Content |
//
// Branch is "Nt32", "Win9x", "Wow64", a comma-separated list of them or
// "all"; cells may be wrapped in backticks, which are dropped.
#pragma once

#include <string>
#include <vector>

struct FootprintRow {
    std::vector<std::string> branches;
    std::string step;    // "install" or "uninstall"
    std::string object;  // "file", "key", "value", "device", "call", "program"
    std::string path;    // with placeholders such as %System%
    std::string change;  // "written", "deleted", "created", "removed", "made", "started", "kept"
    std::string content;
    int line;            // in the document, for messages
};

// Reads every row of the table whose header is the one above. False, with
// a reason, when the file cannot be read, has no such table or a row has
// the wrong number of cells.
bool ReadFootprintTable(const std::string &documentPath, std::vector<FootprintRow> *rows, std::string *reason);

bool RowAppliesTo(const FootprintRow &row, const std::string &branch);
// The rows of one branch and step, in document order.
std::vector<FootprintRow> RowsOf(const std::vector<FootprintRow> &rows, const std::string &branch,
                                 const std::string &step);

// Replaces each "%NAME%" by its value from names/values; unknown names stay.
std::string ExpandPlaceholders(const std::string &text, const std::vector<std::string> &names,
                               const std::vector<std::string> &values);

// "path:line: Step Object Path Change" for messages.
std::string DescribeRow(const FootprintRow &row);
