#include "ctc/file_handle.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/uio.h>
#include <unistd.h>
#endif

#include <climits>
#include <cstdint>

namespace ctc {

FileHandle::~FileHandle() {
    if (isOpen()) closeFile(*this);
}

#ifdef _WIN32

static HANDLE handleOf(const FileHandle& file) {
    return reinterpret_cast<HANDLE>(file.native);
}

bool openExistingFile(const char* path, FileAccess access, FileHandle& file) {
    const DWORD desired =
        access == FileAccess::ReadWrite ? (GENERIC_READ | GENERIC_WRITE) : GENERIC_READ;
    HANDLE handle = CreateFileA(path, desired, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return false;
    }
    file.native = reinterpret_cast<intptr_t>(handle);
    return true;
}

bool fileLength(const FileHandle& file, uint64_t& length) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handleOf(file), &size)) return false;
    length = static_cast<uint64_t>(size.QuadPart);
    return true;
}

static OVERLAPPED overlappedAt(uint64_t position) {
    OVERLAPPED overlapped = {};
    overlapped.Offset = static_cast<DWORD>(position);
    overlapped.OffsetHigh = static_cast<DWORD>(position >> 32);
    return overlapped;
}

// Repeats `call` until every byte moved; a call that moves nothing ends it.
template <typename Byte, typename Call>
static bool moveAll(Byte* bytes, uint64_t position, size_t size, Call call,
                    size_t* moved = nullptr) {
    const Byte* start = bytes;
    while (size > 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        OVERLAPPED overlapped = overlappedAt(position);
        DWORD count = 0;
        if (!call(bytes, chunk, &count, &overlapped) || count == 0) break;
        bytes += count;
        position += count;
        size -= count;
    }
    if (moved != nullptr) *moved = static_cast<size_t>(bytes - start);
    return size == 0;
}

bool readAt(const FileHandle& file, uint64_t position, void* destination, size_t size) {
    return moveAll(static_cast<char*>(destination), position, size,
                   [&](char* bytes, DWORD chunk, DWORD* moved, OVERLAPPED* overlapped) {
                       return ReadFile(handleOf(file), bytes, chunk, moved, overlapped) != 0;
                   });
}

bool writeAt(const FileHandle& file, uint64_t position, const void* source, size_t size,
             size_t* written) {
    return moveAll(
        static_cast<const char*>(source), position, size,
        [&](const char* bytes, DWORD chunk, DWORD* moved, OVERLAPPED* overlapped) {
            return WriteFile(handleOf(file), bytes, chunk, moved, overlapped) != 0;
        },
        written);
}

bool readPiecesAt(const FileHandle& file, uint64_t position, unsigned char* destination,
                  size_t pieceSize, size_t pitch, size_t count) {
    for (size_t piece = 0; piece < count; ++piece) {
        if (!readAt(file, position + piece * pieceSize, destination + piece * pitch, pieceSize)) {
            return false;
        }
    }
    return true;
}

bool writePiecesAt(const FileHandle& file, uint64_t position, const unsigned char* source,
                   size_t pieceSize, size_t pitch, size_t count, size_t* written) {
    size_t done = 0;
    bool complete = true;
    for (size_t piece = 0; piece < count && complete; ++piece) {
        size_t moved = 0;
        complete = writeAt(file, position + done, source + piece * pitch, pieceSize, &moved);
        done += moved;
    }
    if (written != nullptr) *written = done;
    return complete;
}

bool resizeFile(const FileHandle& file, uint64_t length) {
    FILE_END_OF_FILE_INFO info;
    info.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
    return SetFileInformationByHandle(handleOf(file), FileEndOfFileInfo, &info, sizeof info) != 0;
}

bool freeSpaceOf(const char* path, uint64_t& bytes) {
    char full[MAX_PATH];
    char* namePart = nullptr;
    const DWORD length = GetFullPathNameA(path, MAX_PATH, full, &namePart);
    if (length == 0 || length >= MAX_PATH) return false;
    if (namePart != nullptr) *namePart = '\0';
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(full, &available, nullptr, nullptr)) return false;
    bytes = available.QuadPart;
    return true;
}

bool closeFile(FileHandle& file) {
    const bool closed = CloseHandle(handleOf(file)) != 0;
    file.native = -1;
    return closed;
}

#else

static int descriptorOf(const FileHandle& file) {
    return static_cast<int>(file.native);
}

bool openExistingFile(const char* path, FileAccess access, FileHandle& file) {
    // Non-blocking, so that a path naming a pipe is refused instead of waiting
    // for a writer; it changes nothing for regular files.
    const int mode = access == FileAccess::ReadWrite ? O_RDWR : O_RDONLY;
    const int descriptor = open(path, mode | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return false;
    struct stat status;
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(descriptor);
        return false;
    }
    file.native = descriptor;
    return true;
}

bool fileLength(const FileHandle& file, uint64_t& length) {
    struct stat status;
    if (fstat(descriptorOf(file), &status) != 0) return false;
    length = static_cast<uint64_t>(status.st_size);
    return true;
}

// Positions beyond the signed file offset cannot be addressed at all.
static bool isAddressable(uint64_t position, size_t size) {
    const uint64_t limit = static_cast<uint64_t>(INT64_MAX);
    return position <= limit && size <= limit - position;
}

// Repeats `call` until every byte moved; an error other than an interrupted
// call, or a call that moves nothing (the end of the file), ends it.
template <typename Byte, typename Call>
static bool moveAll(Byte* bytes, uint64_t position, size_t size, Call call,
                    size_t* moved = nullptr) {
    if (moved != nullptr) *moved = 0;
    if (!isAddressable(position, size)) return false;
    const Byte* start = bytes;
    while (size > 0) {
        const ssize_t count = call(bytes, size, static_cast<off_t>(position));
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        bytes += count;
        position += static_cast<uint64_t>(count);
        size -= static_cast<size_t>(count);
    }
    if (moved != nullptr) *moved = static_cast<size_t>(bytes - start);
    return size == 0;
}

bool readAt(const FileHandle& file, uint64_t position, void* destination, size_t size) {
    return moveAll(static_cast<char*>(destination), position, size,
                   [&](char* bytes, size_t count, off_t at) {
                       return pread(descriptorOf(file), bytes, count, at);
                   });
}

bool writeAt(const FileHandle& file, uint64_t position, const void* source, size_t size,
             size_t* written) {
    return moveAll(
        static_cast<const char*>(source), position, size,
        [&](const char* bytes, size_t count, off_t at) {
            return pwrite(descriptorOf(file), bytes, count, at);
        },
        written);
}

// Pieces handed to one vectored call; a span of many channels takes a few.
constexpr int kPiecesPerCall = 256;

// Repeats `call` on the pieces not yet moved, the first of them possibly in
// part, until every byte moved; ends like moveAll.
template <typename Byte, typename Call>
static bool movePieces(Byte* bytes, uint64_t position, size_t pieceSize, size_t pitch, size_t count,
                       Call call, size_t* moved = nullptr) {
    if (moved != nullptr) *moved = 0;
    if (count != 0 && pieceSize > SIZE_MAX / count) return false;
    const size_t total = pieceSize * count;
    if (!isAddressable(position, total)) return false;
    size_t done = 0;
    while (done < total) {
        struct iovec pieces[kPiecesPerCall];
        int used = 0;
        size_t within = done % pieceSize;
        for (size_t piece = done / pieceSize; piece < count && used < kPiecesPerCall; ++piece) {
            pieces[used].iov_base = const_cast<unsigned char*>(bytes + piece * pitch + within);
            pieces[used].iov_len = pieceSize - within;
            within = 0;
            ++used;
        }
        const ssize_t result = call(pieces, used, static_cast<off_t>(position + done));
        if (result < 0 && errno == EINTR) continue;
        if (result <= 0) break;
        done += static_cast<size_t>(result);
    }
    if (moved != nullptr) *moved = done;
    return done == total;
}

bool readPiecesAt(const FileHandle& file, uint64_t position, unsigned char* destination,
                  size_t pieceSize, size_t pitch, size_t count) {
    return movePieces(destination, position, pieceSize, pitch, count,
                      [&](const struct iovec* pieces, int used, off_t at) {
                          return preadv(descriptorOf(file), pieces, used, at);
                      });
}

bool writePiecesAt(const FileHandle& file, uint64_t position, const unsigned char* source,
                   size_t pieceSize, size_t pitch, size_t count, size_t* written) {
    return movePieces(
        source, position, pieceSize, pitch, count,
        [&](const struct iovec* pieces, int used, off_t at) {
            return pwritev(descriptorOf(file), pieces, used, at);
        },
        written);
}

bool resizeFile(const FileHandle& file, uint64_t length) {
    if (length > static_cast<uint64_t>(INT64_MAX)) return false;
    int result;
    do {
        result = ftruncate(descriptorOf(file), static_cast<off_t>(length));
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool freeSpaceOf(const char* path, uint64_t& bytes) {
    struct statvfs status;
    if (statvfs(path, &status) != 0) return false;
    const uint64_t blocks = status.f_bavail;
    const uint64_t blockSize = status.f_frsize;
    bytes = blocks * blockSize;
    return blockSize == 0 || bytes / blockSize == blocks;
}

bool closeFile(FileHandle& file) {
    const bool closed = close(descriptorOf(file)) == 0;
    file.native = -1;
    return closed;
}

#endif

}  // namespace ctc
