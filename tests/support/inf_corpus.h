// A deterministic corpus of malformed INF files: binary garbage, truncated
// and odd-length UTF-16, overlong lines and fields, manufacturer lines with
// hundreds of decorations, decorated names past 255 characters, missing and
// empty sections, quotes and line continuations left open. Each file says
// whether it declares the key's hardware ID under the matcher's rules: the
// first [Manufacturer] line's models section or one of its decorated
// sections holds a model line whose field 2 is the ID, each section's scan
// ending at its first line that has no field 2 or whose text or field 2
// needs more than 255 characters, and the whole answer no when field 1 or
// a decoration tried before the match needs more than 255 characters.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct CorpusInf {
    std::string kind;   // what is malformed, for messages
    std::string bytes;  // the file's content
    bool declares;      // by construction
    // Truncated files: they declare only when the INF parser still accepts
    // what is left as a Windows 4 INF (an odd-length UTF-16 file, for one,
    // is not taken as UTF-16).
    bool parserDecides;
};

// The same files for the same seed, at least minimumCount of them.
std::vector<CorpusInf> MalformedInfCorpus(uint32_t seed, size_t minimumCount);

// A well-formed INF of about the size of a real driver package's whose
// models (several decorations, a dozen lines each) do not declare the ID.
std::string NonMatchingDriverInf(uint32_t seed);
