// DiskFile on POSIX descriptors. Reads and writes use pread/pwrite at a logical position, so a
// seek is free; small reads are served from a 4 KiB buffer.
#include "toolkit/disk_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>

namespace velmora {

namespace {

constexpr uint64_t kBufferSize = 4096;
constexpr uint64_t kReadAhead = 128 * 1024;
constexpr uint64_t kMaxRequest = 0x7FFFFFFF;

// Creates a new file named `prefix` and six unique characters in `folder` (0600, O_EXCL, so
// that nothing planted under the name is followed). Returns its descriptor and sets `path`, or
// -1 with `path` cleared.
int CreateUnique(std::string folder, std::string_view prefix, std::string& path)
{
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    folder += prefix;
    folder += "XXXXXX";
    std::vector<char> buffer(folder.begin(), folder.end());
    buffer.push_back('\0');
    const int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
    path = fd < 0 ? std::string() : std::string(buffer.data());
    return fd;
}

} // namespace

DiskFile::DiskFile() = default;

DiskFile::~DiskFile()
{
    Close();
}

const char* DiskFile::TempFolder()
{
    static const std::string folder = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string((dir && *dir) ? dir : "/tmp");
    }();
    return folder.c_str();
}

ResultCode DiskFile::Open(const char* path, uint32_t mode)
{
    Close();
    m_mode = mode;
    m_systemReads = 0;
    m_systemBytesRead = 0;
    int access = O_RDONLY;
    if ((mode & FILE_READ) && (mode & FILE_WRITE))
        access = O_RDWR;
    else if (mode & FILE_WRITE)
        access = O_WRONLY;
    if (mode & FILE_TEMPORARY) {
        const int fd = CreateUnique(path ? path : TempFolder(), "SDK", m_path);
        if (fd < 0)
            return ERROR_FILE_OPEN;
        // A temporary file that is deleted on close is unlinked at once: it then vanishes even
        // when the process dies.
        if (mode & FILE_DELETE_ON_CLOSE)
            ::unlink(m_path.c_str());
        m_fd = fd;
        return SUCCESS;
    }
    if (!path) {
        m_path.clear();
        return ERROR_GENERAL_PARAMETER;
    }
    if ((mode & FILE_REPLACE) && (mode & FILE_CREATE) && OpenReplacement(path))
        return SUCCESS;
    m_path = path;
    int flags = access | O_CLOEXEC;
    if (mode & FILE_CREATE)
        flags |= O_CREAT | O_TRUNC;
    // Input is read from regular files only: opening a FIFO would block until a writer comes,
    // and a device such as /dev/zero never ends. Output never goes to a FIFO, whose open would
    // wait for a reader and which takes no positioned writes. O_NONBLOCK keeps the open itself
    // from waiting; it changes nothing for regular files.
    const bool input = access == O_RDONLY && !(mode & FILE_CREATE);
    flags |= O_NONBLOCK;
    const int fd = ::open(path, flags, 0666);
    if (fd < 0)
        return ERROR_FILE_OPEN;
    struct stat info;
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) || S_ISFIFO(info.st_mode)
        || (input && !S_ISREG(info.st_mode))) {
        ::close(fd);
        return ERROR_FILE_OPEN;
    }
    if (mode & FILE_DELETE_ON_CLOSE)
        ::unlink(path);
    else
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    m_fd = fd;
    return SUCCESS;
}

bool DiskFile::OpenReplacement(const char* path)
{
    struct stat target;
    if (::stat(path, &target) != 0 || !S_ISREG(target.st_mode) || target.st_nlink != 1)
        return false;
    // A file with an access control list keeps it only when written in place.
    if (::getxattr(path, "system.posix_acl_access", nullptr, 0) > 0)
        return false;
    // Only a file this process may write is replaced: a write-protected file stays refused.
    const int probe = ::open(path, O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (probe < 0)
        return false;
    ::close(probe);
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path, nullptr), &std::free);
    if (!resolved)
        return false;
    std::string replaces = resolved.get();
    // A hidden name that says whose it is: ".NAME.velmora-XXXXXX" (NAME shortened to stay within
    // the 255 bytes a file name may have), in case a crash leaves it behind.
    const size_t slash = replaces.rfind('/');
    std::string prefix(1, '.');
    prefix.append(replaces, slash + 1, 200).append(".velmora-");
    const int fd = CreateUnique(replaces.substr(0, slash + 1), prefix, m_path);
    if (fd < 0)
        return false;
    // The owner first: changing it may clear set-ID bits that the mode then puts back. A file
    // whose owner or group this process cannot give away (someone else's file in a shared
    // folder) is written in place instead, so that saving never changes who owns it.
    if (::fchown(fd, target.st_uid, target.st_gid) != 0 || ::fchmod(fd, target.st_mode & 07777) != 0) {
        ::close(fd);
        ::unlink(m_path.c_str());
        m_path.clear();
        return false;
    }
    m_fd = fd;
    m_replaces = std::move(replaces);
    return true;
}

ResultCode DiskFile::Commit()
{
    if (m_replaces.empty()) {
        Close();
        return SUCCESS;
    }
    const bool replaced
        = m_fd >= 0 && ::fdatasync(m_fd) == 0 && ::rename(m_path.c_str(), m_replaces.c_str()) == 0;
    if (replaced)
        m_replaces.clear();
    Close();
    return replaced ? SUCCESS : ERROR_FILE_WRITE;
}

void DiskFile::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_replaces.empty())
        ::unlink(m_path.c_str());
    m_replaces.clear();
    m_fd = -1;
    m_position = 0;
    m_bufferStart = 0;
    m_bufferLength = 0;
}

void DiskFile::Swap(DiskFile& other) noexcept
{
    std::swap(m_fd, other.m_fd);
    m_path.swap(other.m_path);
    m_replaces.swap(other.m_replaces);
    std::swap(m_mode, other.m_mode);
    std::swap(m_position, other.m_position);
    m_buffer.swap(other.m_buffer);
    std::swap(m_bufferStart, other.m_bufferStart);
    std::swap(m_bufferLength, other.m_bufferLength);
    std::swap(m_systemReads, other.m_systemReads);
    std::swap(m_systemBytesRead, other.m_systemBytesRead);
}

bool DiskFile::IsSameFile(const char* path) const
{
    FileIdentity mine, other;
    return Identity(mine) && IdentityOf(path, other) && mine == other;
}

bool DiskFile::Identity(FileIdentity& id) const
{
    struct stat info;
    if (m_fd < 0 || ::fstat(m_fd, &info) != 0)
        return false;
    id = { info.st_dev, info.st_ino };
    return true;
}

bool DiskFile::IdentityOf(const char* path, FileIdentity& id)
{
    FileStamp stamp;
    if (!StampOf(path, stamp))
        return false;
    id = stamp.identity;
    return true;
}

bool DiskFile::StampOf(const char* path, FileStamp& stamp)
{
    struct stat info;
    if (!path || ::stat(path, &info) != 0)
        return false;
    const auto nanoseconds
        = [](const timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; };
    stamp = { { info.st_dev, info.st_ino }, info.st_size, nanoseconds(info.st_mtim),
        nanoseconds(info.st_ctim) };
    return true;
}

void DiskFile::CloseAndRemove()
{
    struct stat info;
    // Close removes an uncommitted replacement itself.
    const bool regular
        = m_replaces.empty() && m_fd >= 0 && ::fstat(m_fd, &info) == 0 && S_ISREG(info.st_mode);
    Close();
    if (regular && !m_path.empty())
        ::unlink(m_path.c_str());
}

uint64_t DiskFile::Read(void* buffer, uint64_t count)
{
    if (m_fd < 0 || !buffer || count == 0)
        return 0;
    auto* out = static_cast<uint8_t*>(buffer);
    uint64_t done = 0;
    while (done < count) {
        // Served from the buffer when the position lies inside it.
        if (m_position >= m_bufferStart
            && static_cast<uint64_t>(m_position - m_bufferStart) < m_bufferLength) {
            const uint64_t at = static_cast<uint64_t>(m_position - m_bufferStart);
            const uint64_t n = std::min(count - done, m_bufferLength - at);
            std::memcpy(out + done, m_buffer.data() + at, n);
            done += n;
            m_position += static_cast<int64_t>(n);
            continue;
        }
        const uint64_t want = count - done;
        if (want >= kBufferSize) {
            // Large requests go straight to the caller's memory.
            const uint64_t n = std::min(want, kMaxRequest);
            const ssize_t got = ::pread(m_fd, out + done, n, m_position);
            ++m_systemReads;
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            m_systemBytesRead += static_cast<uint64_t>(got);
            done += static_cast<uint64_t>(got);
            m_position += got;
            continue;
        }
        // Small reads that continue where a full buffer ended are a stream (a value copied out
        // piece by piece): each refill doubles, up to kReadAhead. Anything else refills 4 KiB.
        const bool streaming = m_bufferLength != 0 && m_bufferLength == m_buffer.size()
            && m_position == m_bufferStart + static_cast<int64_t>(m_bufferLength);
        m_buffer.resize(streaming ? std::min<uint64_t>(m_buffer.size() * 2, kReadAhead) : kBufferSize);
        const ssize_t got = ::pread(m_fd, m_buffer.data(), m_buffer.size(), m_position);
        ++m_systemReads;
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            m_bufferLength = 0;
            break;
        }
        m_systemBytesRead += static_cast<uint64_t>(got);
        m_bufferStart = m_position;
        m_bufferLength = static_cast<uint64_t>(got);
    }
    return done;
}

bool DiskFile::Write(const void* buffer, uint64_t count)
{
    if (m_fd < 0)
        return false;
    if (!buffer || count == 0)
        return true;
    // Whatever the buffer held may be overwritten.
    m_bufferLength = 0;
    const auto* in = static_cast<const uint8_t*>(buffer);
    uint64_t done = 0;
    while (done < count) {
        const uint64_t n = std::min(count - done, kMaxRequest);
        const ssize_t wrote = ::pwrite(m_fd, in + done, n, m_position);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += static_cast<uint64_t>(wrote);
        m_position += wrote;
    }
    return true;
}

int64_t DiskFile::Size() const
{
    struct stat info;
    if (::fstat(m_fd, &info) != 0)
        return -1;
    return info.st_size;
}

int64_t DiskFile::Seek(int origin, int64_t offset)
{
    if (m_fd < 0)
        return 0;
    int64_t base = 0;
    switch (origin) {
    case 0:
        base = 0;
        break;
    case 1:
        base = m_position;
        break;
    case 2:
        base = Size();
        if (base < 0)
            return -1;
        break;
    default:
        return 0;
    }
    if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0)
        return -1;
    m_position = base + offset;
    return m_position;
}

} // namespace velmora
