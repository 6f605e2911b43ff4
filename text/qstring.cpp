#include "text/qstring.h"

#include <cstring>

namespace {

// Every empty QString that owns nothing points here, so that no operation
// has to allocate just to hold "".
char emptyText[1] = {'\0'};

char* copyOf(const char* s, std::size_t length) {
    char* array = new char[length + 1];
    std::memcpy(array, s, length);
    array[length] = '\0';
    return array;
}

}  // namespace

QString::QString() : text_(emptyText), capacity_(0) {}

QString::QString(const char* s) : text_(emptyText), capacity_(0) { *this = s; }

QString::QString(QString&& other) noexcept : text_(other.text_), capacity_(other.capacity_) {
    other.text_ = emptyText;
    other.capacity_ = 0;
}

QString::~QString() {
    if (capacity_ != 0) delete[] text_;
}

void QString::adopt(char* text, std::size_t capacity) {
    if (capacity_ != 0) delete[] text_;
    text_ = text;
    capacity_ = capacity;
}

QString& QString::operator=(const char* s) {
    std::size_t length = std::strlen(s);
    if (length < capacity_) {
        std::memmove(text_, s, length + 1);  // s may lie inside the text itself
    } else if (length > 0) {
        adopt(copyOf(s, length), length + 1);
    }  // else the text is the shared empty one already
    return *this;
}

char* QString::operator+=(const char* s) {
    std::size_t own = std::strlen(text_);
    std::size_t extra = std::strlen(s);
    if (extra == 0) return text_;
    char* joined = new char[own + extra + 1];
    std::memcpy(joined, text_, own);
    std::memcpy(joined + own, s, extra + 1);
    adopt(joined, own + extra + 1);
    return text_;
}

char* QString::grow(std::size_t size) {
    std::size_t capacity = capacity_ < 256 ? 256 : capacity_;
    while (capacity < size) capacity *= 2;
    char* grown = new char[capacity];
    // The caller may be midway through filling the array: keep all of it.
    std::memcpy(grown, text_, capacity_ != 0 ? capacity_ : 1);
    adopt(grown, capacity);
    return text_;
}
