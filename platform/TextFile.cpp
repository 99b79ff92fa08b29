#include "platform/TextFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv::platform {

namespace {

TextFileRead Refused(std::string error)
{
    TextFileRead result;
    result.status = TextFileRead::Status::Refused;
    result.error = std::move(error);
    return result;
}

std::string TooLarge(std::size_t maxBytes)
{
    return "is larger than " + std::to_string(maxBytes) + " bytes";
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

} // namespace

TextFileRead ReadTextFile(const std::filesystem::path& file, std::size_t maxBytes)
{
    const Descriptor fd(open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.Get() < 0) {
        // A file below something that is no folder is not there either.
        if (errno == ENOENT || errno == ENOTDIR) {
            return TextFileRead{};
        }
        return Refused(std::strerror(errno));
    }
    struct stat info{};
    if (fstat(fd.Get(), &info) != 0) {
        return Refused(std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        return Refused(S_ISDIR(info.st_mode) ? "is a folder" : "is not a regular file");
    }
    if (info.st_size < 0 || static_cast<std::uintmax_t>(info.st_size) > maxBytes) {
        return Refused(TooLarge(maxBytes));
    }

    TextFileRead result;
    result.status = TextFileRead::Status::Read;
    std::string& text = result.text;
    text.reserve(static_cast<std::size_t>(info.st_size));
    char chunk[4096];
    for (;;) {
        const ssize_t got = read(fd.Get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return Refused(std::strerror(errno));
        }
        if (got == 0) {
            return result;
        }
        if (static_cast<std::size_t>(got) > maxBytes - text.size()) {
            return Refused(TooLarge(maxBytes));
        }
        text.append(chunk, static_cast<std::size_t>(got));
    }
}

} // namespace orv::platform
