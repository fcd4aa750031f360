#include "platform/SysErrorMessage.h"

#include "platform/CodePage.h"

#include <cstring>
#include <langinfo.h>

namespace {

// The codes of the original platform that our own layers report (the adapter
// list, the name look-up), with that platform's texts.
const char* OriginalText(int code) {
    switch (code) {
    case 8:
        return "Not enough memory resources are available to process this command.";
    case 111:
        return "The file name is too long.";
    case 232:
        return "The pipe is being closed.";
    default:
        return nullptr;
    }
}

} // namespace

std::string SysErrorMessage(int code) {
    if (const char* text = OriginalText(code))
        return text;
    char buffer[256];
    // The GNU strerror_r returns the text, which need not be in `buffer`.
    const std::string text = strerror_r(code, buffer, sizeof buffer);
    // A translated text comes in the locale's code set; the system's texts are GBK.
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0)
        return Utf8ToGbk(text);
    return text;
}
