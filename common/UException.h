#pragma once

#include <QString>

#include <exception>
#include <string>

// The program's exception for a failed internal check. It is thrown and caught inside one
// operation and never crosses a module boundary.
class UException : public std::exception
{
public:
    UException(const char* check, const QString& message, const char* file, int line);
    UException(const char* check, const char* file, int line);

    const std::wstring& check() const { return m_check; }
    const std::wstring& message() const { return m_message; }
    const std::wstring& file() const { return m_file; }
    int line() const { return m_line; }

    // The failed check's source text.
    const char* what() const noexcept override;

private:
    std::wstring m_check;
    std::wstring m_file;
    std::wstring m_message;
    int m_line = 0;
    std::string m_what;
};

// Throws a UException carrying the condition's source text when the condition is false.
#define UEXCEPTION_CHECK(condition, message)                                                                 \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            throw UException(#condition, (message), __FILE__, __LINE__);                                     \
    } while (false)
