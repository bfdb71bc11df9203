#include "UException.h"

#include <codecvt>
#include <locale>

namespace {

// codecvt_byname has a protected destructor; wstring_convert needs one it can call.
struct NamedCodecvt : std::codecvt_byname<wchar_t, char, std::mbstate_t>
{
    explicit NamedCodecvt(const char* name) : std::codecvt_byname<wchar_t, char, std::mbstate_t>(name) {}
    ~NamedCodecvt() override = default;
};

// Source texts are widened with the Simplified Chinese code page where the system has a
// locale of that name. Elsewhere (no "chs" locale) or for bytes that code page rejects, the
// text is taken as UTF-8, which cannot fail: an exception must never fail to be built.
std::wstring widen(const char* text)
{
    if (!text)
        return std::wstring();
    try {
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
        std::wstring_convert<NamedCodecvt> convert(new NamedCodecvt("chs"));
        return convert.from_bytes(text);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    } catch (...) {
        return QString::fromUtf8(text).toStdWString();
    }
}

} // namespace

UException::UException(const char* check, const QString& message, const char* file, int line)
    : m_check(widen(check)), m_file(widen(file)), m_message(message.toStdWString()), m_line(line),
      m_what(check ? check : "")
{
}

UException::UException(const char* check, const char* file, int line)
    : UException(check, QString(), file, line)
{
}

const char* UException::what() const noexcept
{
    return m_what.c_str();
}
