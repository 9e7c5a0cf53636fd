// DiskFile: the toolkit's file object. One operating-system file with 64-bit positions, opened by
// a set of mode flags, and able to create uniquely named temporary files ("SDK...") in the
// temporary folder that vanish when closed. Reads are served from an internal buffer, so that a
// parser asking for a few bytes at a time and seeking over values costs few system calls.
#pragma once

#include "toolkit/result_code.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// Mode flags of DiskFile::Open.
enum FileMode : uint32_t {
    FILE_CREATE = 0x01, // create the file, replacing an existing one; without it the file must exist
    FILE_READ = 0x02,
    FILE_WRITE = 0x04,
    FILE_DELETE_ON_CLOSE = 0x08, // the file disappears when it is closed
    FILE_TEMPORARY = 0x10, // a new unique name with the prefix "SDK" in the temporary folder
    FILE_SHARE_READ = 0x20, // recorded; POSIX files are always shareable
    FILE_SHARE_WRITE = 0x40,
    // With FILE_CREATE: an existing regular file is not written in place but replaced by
    // Commit. The bytes go to a temporary file in its folder (".NAME.velmora-" and six
    // characters), given the file's owner and permissions; Commit renames it over the file,
    // and closing without Commit removes it, so an unfinished save leaves the earlier file as
    // it was. A link is followed and stays a link. A file with several hard links, an access
    // control list, an owner or group the process cannot give the new file, or in a folder
    // that takes no new file, is still written in place (replacing it would part it from its
    // other names, its access rules or its owner, or cannot be done).
    FILE_REPLACE = 0x80,
};

// A file's identity whatever path names it: device and inode.
struct FileIdentity {
    uint64_t device = 0, inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// What tells whether a file was changed or replaced: its identity, size, and the times of its
// last modification and last status change (the latter cannot be set back by a program).
struct FileStamp {
    FileIdentity identity;
    int64_t size = -1;
    int64_t modifiedNs = 0;
    int64_t changedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

class DiskFile {
public:
    DiskFile();
    ~DiskFile();
    DiskFile(const DiskFile&) = delete;
    DiskFile& operator=(const DiskFile&) = delete;

    // Closes the file first. Without FILE_TEMPORARY, `path` names the file (ERROR_GENERAL_PARAMETER
    // when null); with it, a unique "SDK" file is made in the folder `path`, or in TempFolder()
    // when `path` is null. ERROR_FILE_OPEN when the system refuses (also for a directory, and
    // for anything but a regular file when opened for reading only); a temporary name made by
    // the failing call is removed.
    ResultCode Open(const char* path, uint32_t mode);
    // Closes the file; a FILE_REPLACE file not yet committed is removed, the file it was to
    // replace stays.
    void Close();
    // Finishes a file opened with FILE_REPLACE: its bytes are flushed to the disk and it takes
    // the place of the file it replaces. Closes the file. ERROR_FILE_WRITE when that fails
    // (the earlier file then stays); SUCCESS, having only closed it, for any other file.
    ResultCode Commit();
    // Exchanges the two files, positions and buffers included.
    void Swap(DiskFile& other) noexcept;
    bool IsOpen() const { return m_fd >= 0; }
    // True when `path` names the file open here (same device and inode); false when closed.
    bool IsSameFile(const char* path) const;
    // The identity of the open file; false when closed.
    bool Identity(FileIdentity& id) const;
    // The identity of the file `path` names, links followed; false when there is none.
    static bool IdentityOf(const char* path, FileIdentity& id);
    // The stamp of the file `path` names, links followed; false when there is none.
    static bool StampOf(const char* path, FileStamp& stamp);
    // Closes the file and removes it from its folder when it is a regular file (a device or a
    // pipe stays): for output that must not be left half written.
    void CloseAndRemove();

    // Reads up to `count` bytes at the current position; fewer at the end of the file or on an
    // error. 0 for a closed file, a null buffer or a count of 0.
    uint64_t Read(void* buffer, uint64_t count);
    // Writes all bytes at the current position. False for a closed file or a failed write; true
    // for a null buffer or a count of 0 on an open file.
    bool Write(const void* buffer, uint64_t count);
    // origin 0 = start, 1 = current position, 2 = end. Returns the new position; 0 for a closed
    // file or another origin (position unchanged), -1 when the result would be negative.
    // Positions past the end are allowed.
    int64_t Seek(int origin, int64_t offset);
    // The file's current size in bytes; -1 for a closed file.
    int64_t Size() const;

    const std::string& Path() const { return m_path; }
    uint32_t Mode() const { return m_mode; }

    // Counters since the last Open: read requests that reached the system, and bytes they returned.
    uint64_t SystemReads() const { return m_systemReads; }
    uint64_t SystemBytesRead() const { return m_systemBytesRead; }

    // The process-wide temporary folder: $TMPDIR when set and non-empty, else /tmp.
    static const char* TempFolder();

private:
    // FILE_REPLACE: opens a temporary file standing in for `path`; false when `path` is to be
    // written in place.
    bool OpenReplacement(const char* path);

    int m_fd = -1;
    std::string m_path;
    std::string m_replaces; // FILE_REPLACE: the file that Commit replaces, links resolved
    uint32_t m_mode = 0;
    int64_t m_position = 0; // logical position of the next read or write
    // Read buffer: bytes [m_bufferStart, m_bufferStart + m_bufferLength) of the file.
    std::vector<uint8_t> m_buffer;
    int64_t m_bufferStart = 0;
    uint64_t m_bufferLength = 0;
    uint64_t m_systemReads = 0;
    uint64_t m_systemBytesRead = 0;
};

} // namespace velmora
