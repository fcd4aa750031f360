#include "platform/SysErrorMessage.h"

#include "platform/CodePage.h"

#include <cstring>
#include <langinfo.h>

std::string SysErrorMessage(int code) {
    char buffer[256];
    // The GNU strerror_r returns the text, which need not be in `buffer`.
    const std::string text = strerror_r(code, buffer, sizeof buffer);
    // A translated text comes in the locale's code set; the system's texts are GBK.
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0)
        return Utf8ToGbk(text);
    return text;
}
