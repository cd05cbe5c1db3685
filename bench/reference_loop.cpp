// The reference loop for the unpaced speed: the least a programmer can do on the port.
// Writes each block, reads its echoes and the answer, nothing else.
// Usage: talpir-bench-reference PORT IMAGE.bin
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

constexpr std::uint8_t kAccepted = 0x11;  // the device took the block
constexpr std::size_t kMaxWire = 2048;    // largest block on the wire

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size);
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            return false;
        }
        data += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

bool readAll(int fd, std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t got = ::read(fd, data, size);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        data += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

// Raw 8N1 at 38400, reads that wait for at least one byte.
int openRaw(const char* path) {
    const int fd = ::open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (fd < 0 || ::tcgetattr(fd, &tio) != 0) {
        return -1;
    }
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B38400);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    return ::tcsetattr(fd, TCSANOW, &tio) == 0 ? fd : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("Usage: talpir-bench-reference PORT IMAGE.bin\n", stderr);
        return 1;
    }
    std::ifstream file(argv[2], std::ios::binary);
    const std::vector<std::uint8_t> image{std::istreambuf_iterator<char>(file), {}};
    const int fd = openRaw(argv[1]);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    std::uint8_t replies[kMaxWire + 1];
    for (std::size_t at = 0; at + 2 <= image.size();) {
        const std::size_t wire = (image[at] << 8 | image[at + 1]) + 2u;
        if (wire > kMaxWire || at + wire > image.size() || !writeAll(fd, image.data() + at, wire) ||
            !readAll(fd, replies, wire + 1)) {
            std::fputs("talpir-bench-reference: transfer failed\n", stderr);
            return 1;
        }
        if (replies[wire] == kAccepted) {
            at += wire;
        }
    }
    ::close(fd);
    return 0;
}
