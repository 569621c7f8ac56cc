#include "inf_files.h"

#include "wine_test.h"

bool WriteInfAnsi(const std::string &path, const std::string &text)
{
    return WriteBytes(path, text);
}

bool WriteInfUtf16(const std::string &path, const std::string &text)
{
    std::string bytes = "\xFF\xFE";

    for (size_t i = 0; i < text.size(); ++i) {
        bytes += text[i];
        bytes += '\0';
    }
    return WriteBytes(path, bytes);
}
