#pragma once

// 64-bit positioned file access with every result checked. Reads and writes
// name their byte position, so one handle serves alternating reads and writes
// without a shared stream position.

#include <cstddef>
#include <cstdint>

namespace ctc {

enum class FileAccess { ReadOnly, ReadWrite };

// Owns one open file; closing in the destructor is the fallback for early
// exits, callers that care about the close's result call closeFile.
struct FileHandle {
    intptr_t native = -1;  // a descriptor, or a Windows HANDLE

    FileHandle() = default;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle();

    bool isOpen() const { return native != -1; }
};

// Opens an existing regular file without creating or truncating it. Other
// handles on the same file, readers or writers, may be open at the same time.
bool openExistingFile(const char* path, FileAccess access, FileHandle& file);

bool fileLength(const FileHandle& file, uint64_t& length);

// Moves exactly `size` bytes; false on an error or when the file ends first.
// `written`, where given, receives the bytes written before a failure, so
// that a caller can mend exactly what a failed write changed.
bool readAt(const FileHandle& file, uint64_t position, void* destination, size_t size);
bool writeAt(const FileHandle& file, uint64_t position, const void* source, size_t size,
             size_t* written = nullptr);

// The same for `count` pieces of `pieceSize` bytes each that lie back to back
// in the file from `position` on and `pitch` bytes apart in memory: one
// system call moves many pieces, where the system has such calls.
bool readPiecesAt(const FileHandle& file, uint64_t position, unsigned char* destination,
                  size_t pieceSize, size_t pitch, size_t count);
bool writePiecesAt(const FileHandle& file, uint64_t position, const unsigned char* source,
                   size_t pieceSize, size_t pitch, size_t count, size_t* written = nullptr);

// One resize; growing leaves a hole that reads as zeros and costs no space
// where the file system supports sparse files.
bool resizeFile(const FileHandle& file, uint64_t length);

// Bytes an unprivileged writer may still add to the file system holding `path`.
bool freeSpaceOf(const char* path, uint64_t& bytes);

// True when the close succeeded; the handle is closed in either case.
bool closeFile(FileHandle& file);

}  // namespace ctc
