#include "profile/left_out.h"

#include <cstdio>
#include <cstring>

#include "text/code_page.h"

namespace {

const int kConsoleWidth = 79;  // bytes a console line may take, so that none wraps

const char* reasonText(LeftOutReason reason) {
    switch (reason) {
        case LeftOutReason::Unknown: return "unknown line";
        case LeftOutReason::ValueColon: return "value holds a colon";
        case LeftOutReason::ValueNotWhole: return "not one whole value";
        case LeftOutReason::ValueNameTooLong: return "value name over 255 characters";
        case LeftOutReason::ValueDataTooLong: return "value data over 16,300 bytes";
        case LeftOutReason::NoKeyOpen: return "no key open for it";
        case LeftOutReason::GameNameTooLong: return "game name over 16,300 bytes";
        case LeftOutReason::CommentOrList: return "takes no comment or list";
        case LeftOutReason::NoType: return "game has no type";
        case LeftOutReason::NoFileName: return "not a program file name";
        case LeftOutReason::TypeTooLong: return "Typ over 255 characters or 30 parts";
        case LeftOutReason::TypeUnused: return "no key made with it";
    }
    return "";
}

// The bytes of the longest start of `text` that takes at most `room` bytes
// and ends between two characters of the ANSI code page.
std::size_t bytesFitting(const char* text, std::size_t room) {
    const char* end = text;  // of the characters that fit so far
    while (*end != '\0' && static_cast<std::size_t>(nextChar(end) - text) <= room) end = nextChar(end);
    return static_cast<std::size_t>(end - text);
}

}  // namespace

void LeftOutLines::note(unsigned long number, LeftOutReason reason, const char* line) {
    ++count_;
    if (kept_ == kShown && notes_[kShown - 1].number < number) return;
    int at = kept_ < kShown ? kept_++ : kShown - 1;
    for (; at > 0 && notes_[at - 1].number > number; --at) notes_[at] = notes_[at - 1];
    Note& note = notes_[at];
    note.number = number;
    note.reason = reason;
    std::size_t length = bytesFitting(line, sizeof note.text - 1);
    // Neither a control byte nor DEL is a lead byte: '?' in its place leaves
    // every character where it was.
    for (std::size_t i = 0; i < length; ++i) {
        note.text[i] = static_cast<unsigned char>(line[i]) < 0x20 || line[i] == 0x7f ? '?' : line[i];
    }
    note.text[length] = '\0';
    note.cut = line[length] != '\0';
}

void LeftOutLines::print() const {
    if (count_ > 0) {
        std::puts("Lines left out of the Update-File (README.txt says why):");
        for (const Note& note : *this) {
            char start[kConsoleWidth + 1];
            int room = kConsoleWidth - std::snprintf(start, sizeof start, "Line %lu, %s: ", note.number,
                                                     reasonText(note.reason));
            std::size_t length = std::strlen(note.text);
            bool whole = !note.cut && length <= static_cast<std::size_t>(room);
            if (!whole) length = bytesFitting(note.text, static_cast<std::size_t>(room) - 3);
            std::printf("%s%.*s%s\n", start, static_cast<int>(length), note.text, whole ? "" : "...");
        }
        if (count_ > static_cast<unsigned long>(kept_)) std::printf("and %lu more.\n", count_ - kept_);
        std::puts("");
    }
    if (!keyWritten_) std::puts("Nothing in kyro.txt makes a key to import (README.txt says why).\n");
}
