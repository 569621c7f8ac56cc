#include "inf_files.h"

#include "wine_test.h"

const char KEY_INF_TEXT[] =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\n[Manufacturer]\r\nMfg=Models\r\n"
    "[Models]\r\nKey=Install,USB\\VID_FE17&PID_0101\r\n";
const char FOREIGN_INF_TEXT[] =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=USB\r\n"
    "[Manufacturer]\r\nOther=Models\r\n"
    "[Models]\r\nGadget=Install,USB\\VID_1234&PID_0001,USB\\VID_FE17&PID_0101\r\n"
    "[Install]\r\n";

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
