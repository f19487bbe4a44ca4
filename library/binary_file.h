#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace tambelo {

// A small wrapper over a buffered standard stream, through which the page
// archive reader touches its files. Open modes are numbered:
//   1 "rb", 2 "wb", 3 "r+b", 4 "r", 5 "w", 6 "r+w".
// Seek origins: 0 from the start, 1 from the current position, 2 from the end.
class BinaryFile {
public:
    BinaryFile() = default;
    ~BinaryFile();
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;

    // Closes any open stream, then opens `path` with the numbered mode.
    // Returns whether a stream is open afterwards; false for a mode number
    // outside 1..6 (nothing is opened then) and for a path that names no
    // ordinary file (a FIFO, device or directory counts as missing and is
    // never waited on).
    bool open(const char* path, int mode);
    void close();
    bool is_open() const { return stream_ != nullptr; }

    // 0 on success, non-zero on failure; -1 for an origin outside 0..2, in
    // which case the position is left where it was.
    int seek(std::int32_t offset, int origin);
    // The number of whole items read.
    std::size_t read(void* buffer, std::size_t item_size, std::size_t item_count);
    // The next byte (0..255), or -1 at the end of the file or on an error.
    int getc();
    // The current position, or -1 on an error.
    std::int64_t tell();
    // The file's size in bytes, or -1 on an error; the position is kept.
    std::int64_t size();

private:
    std::FILE* stream_ = nullptr;
};

}  // namespace tambelo
