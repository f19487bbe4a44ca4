// write_icon_file OUT.ico: the program's icon as a Windows icon file, for
// tambelo.exe's icon resource. Runs on the build machine at build time.

#include "frontend/window_logic/icon_file.h"

#include <cstdio>
#include <fstream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_icon_file OUT.ico\n");
        return 2;
    }
    using namespace tambelo::frontend;
    const std::string bytes = icon_file_bytes(program_icon(), icon_file_sides);
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "write_icon_file: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
