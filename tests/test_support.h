#pragma once

#include <cstdio>
#include <string>

/// A fresh folder for one test, removed with everything in it afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string path(const std::string& name) const;
    /// Writes `bytes` to the file `name` exactly as given.
    void write(const std::string& name, const std::string& bytes) const;
    /// The bytes of the file `name` exactly as stored.
    std::string read(const std::string& name) const;

private:
    std::string root_;
};

/// `text` with each LF as the platform's text-mode streams write it.
std::string onDisk(const std::string& text);

/// Opens `path` for reading with its descriptor closed beneath the stream,
/// so that the first read fails as a failing disk would make it fail.
std::FILE* openUnreadable(const std::string& path);
