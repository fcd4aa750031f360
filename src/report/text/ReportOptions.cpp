#include "report/text/ReportOptions.h"

#include <algorithm>
#include <stdexcept>
#include <type_traits>

namespace {

// Texts are stored with every byte XOR-ed with this key, so the block does not
// show them in plain sight.
constexpr std::uint8_t kTextKey = 0xA7;

// A filter's flag and four bytes, plus the lengths of its two texts.
constexpr std::size_t kStoredFilterMinSize = 1 + 4 + 4 + 4;

class TOptionsWriter {
public:
    template <class T>
    requires std::is_integral_v<T>
    void operator()(const T& value) {
        for (std::size_t i = 0; i < sizeof(T); ++i)
            bytes.push_back(
                static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * i)));
    }
    void operator()(const std::string& text) {
        (*this)(static_cast<std::uint32_t>(text.size()));
        for (char c : text)
            bytes.push_back(static_cast<std::uint8_t>(c) ^ kTextKey);
    }
    template <class T, std::size_t N> void operator()(const std::array<T, N>& values) {
        for (const T& value : values)
            (*this)(value);
    }
    void Count(std::size_t count) { (*this)(static_cast<std::uint32_t>(count)); }

    std::vector<std::uint8_t> bytes;
};

class TOptionsReader {
public:
    explicit TOptionsReader(const std::vector<std::uint8_t>& stream) : stream_(stream) {}

    template <class T>
    requires std::is_integral_v<T>
    void operator()(T& value) {
        std::uint64_t raw = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            raw |= static_cast<std::uint64_t>(Next()) << (8 * i);
        value = static_cast<T>(raw);
    }
    void operator()(std::string& text) {
        std::uint32_t length = 0;
        (*this)(length);
        if (length > stream_.size() - offset_)
            throw std::runtime_error("options text runs past the end");
        text.resize(length);
        for (char& c : text)
            c = static_cast<char>(Next() ^ kTextKey);
    }
    template <class T, std::size_t N> void operator()(std::array<T, N>& values) {
        for (T& value : values)
            (*this)(value);
    }
    // A list of `count` elements of at least `minSize` bytes each must fit in
    // what is left, so a damaged count cannot make the list huge.
    std::size_t Count(std::size_t minSize) {
        std::uint32_t count = 0;
        (*this)(count);
        if (count > (stream_.size() - offset_) / minSize)
            throw std::runtime_error("options list runs past the end");
        return count;
    }

private:
    std::uint8_t Next() {
        if (offset_ >= stream_.size())
            throw std::runtime_error("options stream ends early");
        return stream_[offset_++];
    }

    const std::vector<std::uint8_t>& stream_;
    std::size_t offset_ = 0;
};

// One list of the fields, in stream order, for writing and reading alike.
// Options is TReportOptions, const for writing.
template <class Stream, class Options> void Serialize(Stream& s, Options& o) {
    s(o.LogFlag);
    s(o.FiltersActive);
    s(o.LogOptions);
    s(o.AppendLogs);
    s(o.SaveLogFile);
    s(o.FirstTab);
    s(o.FreezeActive);
    s(o.FreezeTimeout);
    s(o.MailFrom);
    s(o.MailHost);
    s(o.MailPort);
    s(o.MailUser);
    s(o.MailPassword);
    s(o.TerminateOperation);
    s(o.ReportsKept);
    s(o.ReportsBeforeTerminate);
    s(o.MailRecipients);
    s(o.MailSubject);
    s(o.MailSendMode);
    s(o.ShowOptions);
    s(o.OutputPath);
    s(o.WebSendMode);
    s(o.WebAddress);
    s(o.WebUser);
    s(o.WebPassword);
    s(o.WebPort);
    s(o.AttachedFiles);
    s(o.CommonSendOptions);
    s(o.DialogOptions);
    s(o.AutoCloseSeconds);
    s(o.SupportPage);
    s(o.HtmlLayout);
    s(o.CallStackOptions);
    s(o.BehaviourOptions);
    s(o.LeakOptions);
    s(o.AutoCrashOperation);
    s(o.AutoCrashCount);
    s(o.AutoCrashMinutes);
    s(o.CompiledFileOptions);
    s(o.DialogType);
    s(o.ProxyAddress);
    s(o.ProxyUser);
    s(o.ProxyPassword);
    s(o.ProxyPort);
    s(o.BugTrackerTexts);
}

template <class Stream, class Filter> void SerializeFilter(Stream& s, Filter& f) {
    s(f.Active);
    s(f.ExceptionClass);
    s(f.Message);
    s(f.Reserved);
    s(f.DialogChoice);
    s(f.Handler);
    s(f.Action);
}

} // namespace

std::string TReportOptions::DefaultHtmlLayout() {
    return "<html><head><title>%ERRORTITLE%</title></head><body>"
           "<h1>%ERRORTITLE%</h1><p>%ERRORMESSAGE%</p>"
           "<p>The error has been reported. We are sorry for the inconvenience.</p>"
           "<pre>%ERRORREPORT%</pre><p><a href=\"%SUPPORTPAGE%\">Support</a></p>"
           "<p>%APPLICATION% %VERSION%</p></body></html>";
}

std::vector<std::uint8_t> WriteReportOptions(const TReportOptions& options) {
    TOptionsWriter s;
    Serialize(s, options);
    s.Count(options.Filters.size());
    for (const TExceptionFilter& filter : options.Filters)
        SerializeFilter(s, filter);
    s(options.MailMessage);
    // The table always holds every text; unset ones are stored empty.
    for (std::size_t i = 0; i < kReportTextCount; ++i)
        s(i < options.Texts.size() ? options.Texts[i] : std::string());
    s(options.TextsName);
    return std::move(s.bytes);
}

TReportOptions ReadReportOptions(const std::vector<std::uint8_t>& stream) {
    TReportOptions options;
    TOptionsReader s(stream);
    Serialize(s, options);
    // The crash-time list holds at least the report just made and at most
    // kMaxAutoCrashCount: a count of 0 would read the times of an empty list.
    options.AutoCrashCount = std::clamp(options.AutoCrashCount, 1u, kMaxAutoCrashCount);
    options.Filters.resize(s.Count(kStoredFilterMinSize));
    for (TExceptionFilter& filter : options.Filters)
        SerializeFilter(s, filter);
    s(options.MailMessage);
    options.Texts.resize(kReportTextCount);
    for (std::string& text : options.Texts)
        s(text);
    s(options.TextsName);
    return options;
}

TReportTexts TextsOf(const TReportOptions& options) {
    TReportTexts texts;
    for (std::size_t i = 0; i < options.Texts.size() && i < kReportTextCount; ++i)
        texts.Set(static_cast<int>(i), options.Texts[i]);
    return texts;
}

std::vector<std::string> DefaultTexts() {
    const TReportTexts texts;
    std::vector<std::string> table;
    for (int i = 0; i < TReportTexts::Count; ++i)
        table.push_back(texts[i]);
    return table;
}
