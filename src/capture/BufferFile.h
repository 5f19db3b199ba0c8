#pragma once
// The pre-allocated temporary file a recording goes into when a buffer size is set. Its
// blocks are reserved up front, so a full disk shows when the device opens and not in the
// middle of a recording; the recording is copied to the video file afterwards.
#include <QString>

namespace ostrel {

class BufferFile {
public:
    static constexpr qint64 Unit = 1048576; // sizes are given in megabytes

    bool isEmpty() const { return path_.isEmpty(); }
    const QString& path() const { return path_; }
    // Creates the file when there is none and reserves `megabytes` of real blocks (not a
    // sparse file); 0 removes the file. Raises EBufferFileError.
    void reserve(quint16 megabytes);
    // Lets go of the file without removing it: it holds the only copy of a recording.
    void keep() { path_.clear(); }
    // Copies the first `bytes` to `target`, which is replaced only once the copy is whole;
    // false and a reason in `error` when that fails.
    bool copyTo(const QString& target, qint64 bytes, QString* error) const;

private:
    QString path_;
};

} // namespace ostrel
