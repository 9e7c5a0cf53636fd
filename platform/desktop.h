// The small desktop services the viewer needs: where the program lives, loading a picture file,
// and the wait cursor. Sits in the platform layer, on Qt.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <string>
#include <string_view>

namespace velmora {

// The folder of the running program, without a trailing '/'; empty when unknown.
QString ProgramFolder();

// The folder that holds file `path` (bytes as the file system names them, relative to the
// current folder unless absolute) as an encoded file URL (ASCII, every other byte as %XX), so
// that names that are not UTF-8 survive; QUrl would turn such bytes into U+FFFD.
QByteArray ContainingFolderUrl(std::string_view path);
// Whether that folder exists now (a folder, or a link to one).
bool ContainingFolderExists(std::string_view path);
// Whether file `path` (the file system's bytes) is a regular file now, or a link to one: a file
// removed since it was scanned, or something else in its place, has nothing to read.
bool RegularFileExists(const std::string& path);

// A path as the file system names it (bytes, not necessarily UTF-8) as text to show: as UTF-8
// when its bytes are valid UTF-8, else as Latin-1, so a name from an older system reads "café"
// rather than "caf\uFFFD". The decoding of text without a character set, as data set values have.
QString ShownPath(std::string_view path);
// The part of `path` after its last '/', shown so.
QString ShownFileName(std::string_view path);

// Largest picture the viewer decodes, in pixels (larger files load as no picture).
inline constexpr qint64 MAX_PICTURE_PIXELS = 1ll << 28;

// Reads a picture file in any format Qt reads (EXIF orientation applied); a null image when the
// file can't be opened or decoded, or is not a regular file (a FIFO or device would block).
// `path` is the file system's bytes, so names that are not UTF-8 load too.
QImage LoadPicture(const std::string& path);
QImage LoadPicture(const QString& path);

// Shows the wait cursor for its lifetime.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace velmora
