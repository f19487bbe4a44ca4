#pragma once

#include <string>

namespace tambelo {

// A name reserved for a file that is being written, in the folder of its
// final name (so that moving it into place is one atomic rename): the final
// name, a tag unique to this reservation, and ".partial". Several programs
// writing the same final name at once each get their own. The file is
// removed with the object unless `commit` moved it into place.
class TemporaryFile {
public:
    // Reserves a name beside `final_path` by creating an empty file there.
    // On failure `path()` is empty and `error()` says why in one line.
    explicit TemporaryFile(std::string final_path);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool reserved() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    const std::string& final_path() const { return final_path_; }
    const std::string& error() const { return error_; }

    // Renames the file over its final name. Returns an empty string on
    // success, else a one-line reason (the temporary file is then removed).
    std::string commit();

private:
    std::string final_path_;
    std::string path_;
    std::string error_;
};

}  // namespace tambelo
