#include "test_support.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#ifdef _WIN32
#include <io.h>
#define fileno _fileno
#define close _close
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::random_device random;
    for (;;) {
        fs::path candidate = fs::temp_directory_path() / ("profsync-test-" + std::to_string(random()));
        if (fs::create_directory(candidate)) {
            root_ = candidate.string();
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

std::string TempDir::path(const std::string& name) const {
    return (fs::path(root_) / name).string();
}

void TempDir::write(const std::string& name, const std::string& bytes) const {
    fs::create_directories(fs::path(path(name)).parent_path());
    std::ofstream(path(name), std::ios::binary) << bytes;
}

std::string TempDir::read(const std::string& name) const {
    std::ifstream file(path(name), std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

std::string onDisk(const std::string& text) {
#ifdef _WIN32
    std::string converted;
    for (char c : text) {
        if (c == '\n') converted += '\r';
        converted += c;
    }
    return converted;
#else
    return text;
#endif
}

std::FILE* openUnreadable(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    close(fileno(file));
    return file;
}
