#include "footprint_table.h"

#include <sstream>

#include "wine_test.h"

namespace {

const char *const HEADER_CELLS[] = {"Branch", "Step", "Object", "Path", "Change", "Content"};
const size_t CELL_COUNT = sizeof(HEADER_CELLS) / sizeof(HEADER_CELLS[0]);
const char ALL_BRANCHES[] = "all";

std::string Trimmed(const std::string &text)
{
    size_t start = text.find_first_not_of(" \t\r");
    size_t end = text.find_last_not_of(" \t\r");

    if (start == std::string::npos)
        return "";
    return text.substr(start, end - start + 1);
}

std::string WithoutBackticks(const std::string &text)
{
    std::string plain;

    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] != '`')
            plain += text[i];
    return plain;
}

// A cell's text: "\|" is a bar within the cell, as Markdown writes it.
std::string CellText(const std::string &text)
{
    std::string plain = WithoutBackticks(text);

    for (size_t at = plain.find("\\|"); at != std::string::npos; at = plain.find("\\|", at + 1))
        plain.erase(at, 1);
    return Trimmed(plain);
}

// The cells of a table line "| a | b |"; none when it is not one.
std::vector<std::string> Cells(const std::string &line)
{
    std::vector<std::string> cells;
    std::string text = Trimmed(line);
    size_t start = 1;

    if (text.size() < 2 || text[0] != '|' || text[text.size() - 1] != '|')
        return cells;
    for (size_t bar = text.find('|', start); bar != std::string::npos; bar = text.find('|', bar + 1)) {
        if (text[bar - 1] == '\\')
            continue;
        cells.push_back(CellText(text.substr(start, bar - start)));
        start = bar + 1;
    }
    return cells;
}

bool IsHeader(const std::vector<std::string> &cells)
{
    if (cells.size() != CELL_COUNT)
        return false;
    for (size_t i = 0; i < CELL_COUNT; ++i)
        if (cells[i] != HEADER_CELLS[i])
            return false;
    return true;
}

bool IsSeparator(const std::vector<std::string> &cells)
{
    return !cells.empty() && cells[0].find("---") != std::string::npos;
}

std::vector<std::string> SplitList(const std::string &text)
{
    std::vector<std::string> items;
    std::istringstream in(text);
    std::string item;

    while (std::getline(in, item, ','))
        if (!Trimmed(item).empty())
            items.push_back(Trimmed(item));
    return items;
}

FootprintRow MakeRow(const std::vector<std::string> &cells, int line)
{
    FootprintRow row;

    row.branches = SplitList(cells[0]);
    row.step = cells[1];
    row.object = cells[2];
    row.path = cells[3];
    row.change = cells[4];
    row.content = cells[5];
    row.line = line;
    return row;
}

} // namespace

bool ReadFootprintTable(const std::string &documentPath, std::vector<FootprintRow> *rows, std::string *reason)
{
    std::istringstream document(ReadBytes(documentPath));
    std::string line;
    bool inTable = false;
    int number = 0;

    rows->clear();
    while (std::getline(document, line)) {
        std::vector<std::string> cells = Cells(line);
        ++number;
        if (!inTable) {
            inTable = IsHeader(cells);
            continue;
        }
        if (cells.empty())
            break;
        if (IsSeparator(cells))
            continue;
        if (cells.size() != CELL_COUNT) {
            std::ostringstream message;
            message << documentPath << ":" << number << ": " << cells.size() << " cells, not " << CELL_COUNT;
            *reason = message.str();
            return false;
        }
        rows->push_back(MakeRow(cells, number));
    }
    if (rows->empty()) {
        *reason = "no footprint table in " + documentPath;
        return false;
    }
    return true;
}

bool RowAppliesTo(const FootprintRow &row, const std::string &branch)
{
    for (size_t i = 0; i < row.branches.size(); ++i)
        if (row.branches[i] == branch || row.branches[i] == ALL_BRANCHES)
            return true;
    return false;
}

std::vector<FootprintRow> RowsOf(const std::vector<FootprintRow> &rows, const std::string &branch,
                                 const std::string &step)
{
    std::vector<FootprintRow> selected;

    for (size_t i = 0; i < rows.size(); ++i)
        if (RowAppliesTo(rows[i], branch) && rows[i].step == step)
            selected.push_back(rows[i]);
    return selected;
}

std::string ExpandPlaceholders(const std::string &text, const std::vector<std::string> &names,
                               const std::vector<std::string> &values)
{
    std::string expanded = text;

    for (size_t i = 0; i < names.size() && i < values.size(); ++i) {
        std::string placeholder = "%" + names[i] + "%";
        for (size_t at = expanded.find(placeholder); at != std::string::npos;
             at = expanded.find(placeholder, at + values[i].size()))
            expanded.replace(at, placeholder.size(), values[i]);
    }
    return expanded;
}

std::string DescribeRow(const FootprintRow &row)
{
    std::ostringstream text;

    text << "footprint.md:" << row.line << ": " << row.step << " " << row.object << " " << row.path << " "
         << row.change;
    if (!row.content.empty())
        text << " (" << row.content << ")";
    return text.str();
}
