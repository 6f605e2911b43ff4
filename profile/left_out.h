#pragma once

/// Why a line of the list puts nothing into the update file.
enum class LeftOutReason {
    Unknown,           // no Name, Typ, Exe or Date line, no value line, no comment
    ValueColon,        // a value line with a colon
    ValueNotWhole,     // a value line the registry editor would not read whole
    ValueNameTooLong,  // a value line whose name is longer than the registry holds
    ValueDataTooLong,  // a value line whose data is longer than the registry holds
    NoKeyOpen,         // a value line while no key of its game is open
    GameNameTooLong,   // a Name line longer than "UIDummyName" holds, and the Exe lines of its game
    CommentOrList,     // a Typ or Exe line with a comment or a list after its name
    NoType,            // an Exe line in a game without a type
    NoFileName,        // an Exe line that names no program file: nothing, too long, a character no name holds
    TypeTooLong,       // a Typ line whose path is longer or deeper than the registry takes
    TypeUnused,        // a Typ line that no Exe line of its game opened a key with
};

/// The lines of the list that put nothing into the update file, as the
/// console reports them: the first kShown by line number, each with its
/// reason and the start of its text, and how many there were; and whether
/// the file holds a key at all. Its size does not grow with the list.
class LeftOutLines {
public:
    static constexpr int kShown = 10;

    /// Notes the line numbered `number` (1 for the first), whose normalised
    /// text is `text`. Lines may be noted out of order.
    void note(unsigned long number, LeftOutReason reason, const char* text);

    /// Tells that the update file holds a key.
    void noteKey() { keyWritten_ = true; }

    unsigned long count() const { return count_; }

    /// Prints the report on standard output: a heading, one line for each
    /// line kept, how many more there were, and an empty line, when a line
    /// was noted; then, when the file holds no key, a line that says so and
    /// an empty line. No console line is longer than 79 bytes.
    void print() const;

    struct Note {
        unsigned long number;
        LeftOutReason reason;
        char text[80];  // the start of the line, control bytes and DEL as '?'
        bool cut;       // the line goes on after `text`
    };
    const Note* begin() const { return notes_; }
    const Note* end() const { return notes_ + kept_; }

private:
    Note notes_[kShown];
    int kept_ = 0;
    unsigned long count_ = 0;
    bool keyWritten_ = false;
};
