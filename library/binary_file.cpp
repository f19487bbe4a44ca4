#include "library/binary_file.h"

#include "files/regular_file.h"

namespace tambelo {
namespace {

const char* mode_text(int mode)
{
    switch (mode) {
    case 1: return "rb";
    case 2: return "wb";
    case 3: return "r+b";
    case 4: return "r";
    case 5: return "w";
    case 6: return "r+w";
    default: return nullptr;
    }
}

}  // namespace

BinaryFile::~BinaryFile()
{
    close();
}

bool BinaryFile::open(const char* path, int mode)
{
    close();
    const char* text = mode_text(mode);
    if (text == nullptr || path == nullptr)
        return false;
    stream_ = open_regular_file(path, text);
    return stream_ != nullptr;
}

void BinaryFile::close()
{
    if (stream_ != nullptr)
        std::fclose(stream_);
    stream_ = nullptr;
}

int BinaryFile::seek(std::int32_t offset, int origin)
{
    if (stream_ == nullptr)
        return -1;
    switch (origin) {
    case 0: return std::fseek(stream_, offset, SEEK_SET);
    case 1: return std::fseek(stream_, offset, SEEK_CUR);
    case 2: return std::fseek(stream_, offset, SEEK_END);
    default: return -1;
    }
}

std::size_t BinaryFile::read(void* buffer, std::size_t item_size, std::size_t item_count)
{
    if (stream_ == nullptr)
        return 0;
    return std::fread(buffer, item_size, item_count, stream_);
}

int BinaryFile::getc()
{
    if (stream_ == nullptr)
        return -1;
    const int byte = std::fgetc(stream_);
    return byte == EOF ? -1 : byte;
}

std::int64_t BinaryFile::tell()
{
    if (stream_ == nullptr)
        return -1;
    return std::ftell(stream_);
}

std::int64_t BinaryFile::size()
{
    const std::int64_t here = tell();
    if (here < 0 || std::fseek(stream_, 0, SEEK_END) != 0)
        return -1;
    const std::int64_t end = tell();
    std::fseek(stream_, static_cast<long>(here), SEEK_SET);
    return end;
}

}  // namespace tambelo
