// The floor for indexing a folder: list it, open each file, read its first 8 KiB,
// close it. One thread, no parsing: what any index of the folder must at least do.
//   index_read_floor FOLDER
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: index_read_floor FOLDER\n");
        return 2;
    }
    DIR* dir = ::opendir(argv[1]);
    if (dir == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    static char buffer[8192];
    long files = 0;
    long bytes = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        const std::string path = std::string(argv[1]) + "/" + entry->d_name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        bytes += got > 0 ? got : 0;
        ++files;
        ::close(fd);
    }
    ::closedir(dir);
    std::printf("%ld files, %ld bytes\n", files, bytes);
    return 0;
}
