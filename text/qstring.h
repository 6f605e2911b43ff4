#pragma once

#include <cstddef>

/// The program's string: one owned, NUL-terminated array of 8-bit characters.
/// The array is never null. An assignment reuses the array when the new text
/// fits; otherwise a new array replaces the old one, which is released. A
/// string can be moved (returned from a function), not copied.
class QString {
public:
    QString();
    QString(const char* s);
    QString(QString&& other) noexcept;
    ~QString();

    QString& operator=(const char* s);

    /// Appends s and returns the new array.
    char* operator+=(const char* s);

    const char* c_str() const { return text_; }
    operator const char*() const { return text_; }
    bool empty() const { return text_[0] == '\0'; }

    /// Ends the text after its first `length` bytes; it has at least that many.
    void cut(std::size_t length) { text_[length] = '\0'; }

    /// Makes room for `size` bytes and returns the array for the caller to
    /// fill with a NUL-terminated text, as the line reader does. The array's
    /// bytes are kept when it grows, and it is reused while it is large enough.
    char* reserve(std::size_t size) { return size <= capacity_ ? text_ : grow(size); }

private:
    void adopt(char* text, std::size_t capacity);
    char* grow(std::size_t size);

    char* text_;
    std::size_t capacity_;  // bytes owned at text_; 0 for the shared empty text
};
