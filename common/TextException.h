#pragma once

#include <exception>

// An exception that carries one constant text, returned by what(). Component classes derive
// their nested `exception` from it. The text must outlive the exception: a string literal.
class CTextException : public std::exception
{
public:
    explicit CTextException(const char* text) noexcept : m_text(text) {}
    const char* what() const noexcept override { return m_text; }

private:
    const char* m_text;
};
