#include "platform/CodePage.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <string>

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// One iconv descriptor for one conversion; closed when the object goes.
// Without one (no descriptor or memory left for the converter's tables, as
// in a crashed process's reporter) every byte beyond ASCII is replaced:
// converting text never ends a report.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != kNoConverter)
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts the whole input; at each byte that cannot be converted, appends
    // `replacement`, skips `skip` input bytes and goes on.
    std::string Convert(std::string_view in, std::string_view replacement, size_t skip) {
        std::string out;
        out.reserve(in.size() * 2);
        if (cd_ == kNoConverter) {
            for (size_t at = 0; at < in.size();) {
                const bool ascii = static_cast<unsigned char>(in[at]) < 0x80;
                out.append(ascii ? in.substr(at, 1) : replacement);
                at += ascii ? 1 : std::max<size_t>(skip, 1);
            }
            return out;
        }
        char* src = const_cast<char*>(in.data());
        size_t left = in.size();
        char buffer[1024];
        while (left > 0) {
            char* dst = buffer;
            size_t room = sizeof buffer;
            size_t rc = iconv(cd_, &src, &left, &dst, &room);
            out.append(buffer, static_cast<size_t>(dst - buffer));
            if (rc != static_cast<size_t>(-1) || errno == E2BIG)
                continue;
            // EILSEQ or EINVAL (an incomplete sequence at the end): replace and skip.
            out.append(replacement);
            size_t step = std::min(skip, left);
            src += step;
            left -= step;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        return out;
    }

private:
    iconv_t cd_;
};

// Length of the UTF-8 sequence starting at `at`: the lead byte plus the
// continuation bytes that follow it, at most as many as the lead announces.
size_t Utf8SequenceLength(std::string_view text, size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const size_t wanted = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    size_t n = 1;
    while (n < wanted && at + n < text.size() &&
           (static_cast<unsigned char>(text[at + n]) & 0xC0) == 0x80)
        ++n;
    return n;
}

} // namespace

std::string GbkToUtf8(std::string_view gbk) {
    Converter converter("UTF-8", "GBK");
    return converter.Convert(gbk, "\xEF\xBF\xBD", 1);
}

std::string Utf8ToGbk(std::string_view utf8) {
    Converter converter("GBK", "UTF-8");
    std::string out;
    // Walk character by character so an unmappable character costs exactly one "?".
    size_t i = 0;
    while (i < utf8.size()) {
        const size_t n = Utf8SequenceLength(utf8, i);
        out += converter.Convert(utf8.substr(i, n), "?", n);
        i += n;
    }
    return out;
}
