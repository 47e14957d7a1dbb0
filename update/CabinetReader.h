// Reading an update package: a cabinet file whose entries are handed, one
// by one, to a caller-supplied handler that decides where each one goes.
//
// The updater's extraction step (ExtractCabinet) creates one Reader per run
// with hooks over the Win32 heap and file API, asks IsCabinet before
// committing to a package, then calls Copy with a handler that opens each
// destination file and stamps it on completion. The unit itself is
// platform-neutral: every allocation and every byte of file I/O goes through
// the hooks, so it also builds natively for the test harness and fuzzing.
//
// Decompression is libmspack's cabinet decompressor (stored, MSZIP, Quantum,
// LZX, block checksums enforced, no salvage or repair modes). Cabinet sets
// are not followed: an entry that needs another cabinet of the set is
// reported (ContinuedFile / NextCabinet) and never written.
#pragma once

#include <cstdint>

namespace cab {

// The reader performs ALL allocation and file access through these.
struct Hooks {
    void* (*alloc)(unsigned size);  // null when memory is exhausted
    void (*free)(void* p);          // accepts null
    intptr_t (*open)(const char* path, int flags, int mode);      // -1 on failure; positioned at the start
    unsigned (*read)(intptr_t h, void* buf, unsigned n);          // bytes read, or (unsigned)-1
    unsigned (*write)(intptr_t h, const void* buf, unsigned n);   // bytes written, or (unsigned)-1
    int (*close)(intptr_t h);                                     // 0 or -1
    long (*seek)(intptr_t h, long offset, int origin);  // origin 0 start, 1 current, 2 end; new pos or -1
};

// Open flags, with the C runtime's values so a hook can pass them through.
// Cabinets are opened kBinary | kReadOnly | kSequential.
enum : int {
    kReadOnly = 0x0000,
    kWriteOnly = 0x0001,
    kSequential = 0x0020,
    kCreate = 0x0100,
    kBinary = 0x8000,
};

enum class Event {
    CabinetInfo,    // once, after the cabinet's header was read
    FileCount,      // filesRemaining = entry count before the first entry, 0 after the last
                    // (a cabinet without files, with or without folders: 0, then 0 again)
    ContinuedFile,  // entry whose data begins in an earlier cabinet of a set: never extracted
    CopyFile,       // return a handle to receive the data, 0 to skip, -1 to abort
    FileComplete,   // data written; the handler now owns (closes) the handle; 0 or -1 fails
    NextCabinet,    // the data goes on in name/disk; the reader then fails (WrongCabinet)
};

enum class Error {
    None,
    OpenFailed,        // the cabinet could not be opened through the hooks
    NotCabinet,        // no "MSCF" signature, or too short for a header
    UnknownVersion,    // signature right, format version not 1.3
    Corrupt,           // bad structure, truncated data, block checksum mismatch
    OutOfMemory,       // hooks.alloc returned null
    BadCompression,    // unknown compression type or window size
    DecompressFailed,  // the compressed stream is invalid
    WriteFailed,       // hooks.write took fewer bytes than it was given
    ReserveMismatch,   // reserved-area sizes disagree across a set (not raised: sets are not followed)
    WrongCabinet,      // an entry needs the next cabinet of a set
    Aborted,           // the handler returned -1 (or vetoed FileComplete)
};

struct Notification {
    // CopyFile, ContinuedFile, FileComplete: the stored name, bytes unchanged
    // (CP932 or UTF-8 per attribs 0x80). CabinetInfo, NextCabinet: the next
    // cabinet's name, "" when there is none.
    const char* name;
    const char* disk;         // CabinetInfo, NextCabinet: the next cabinet's disk label or ""
    const char* cabinetPath;  // the cabinet being read, as Copy joined it
    long size;                // uncompressed size of the entry
    int folder;               // folder index as stored (0xFFFD..0xFFFF mark continuations)
    unsigned short date;      // DOS date
    unsigned short time;      // DOS time
    unsigned short attribs;   // as stored, including the 0x40 exec and 0x80 UTF-8 name flags
    unsigned short setId;     // CabinetInfo: set id and index of this cabinet in it
    unsigned short cabinetIndex;
    intptr_t handle;          // FileComplete: the handle CopyFile returned
    int filesRemaining;       // FileCount
};

typedef intptr_t (*Handler)(Event event, Notification* n, void* context);

class Reader {
public:
    explicit Reader(const Hooks& hooks);
    // Allocates the reader through hooks.alloc; null when that fails.
    static Reader* Create(const Hooks& hooks);
    // Releases a reader made by Create.
    static void Destroy(Reader* reader);

    // Reads the 36-byte header of an already open file through the hooks
    // (from offset 0; the position is left after the header).
    bool IsCabinet(intptr_t handle, Error* why = nullptr);

    // Extracts the cabinet at folder + name (joined as given: folder must
    // end with a separator or be ""). Stops at the first failure; a handle
    // the handler gave for a failed entry is closed through hooks.close and
    // FileComplete is not raised for it.
    bool Copy(const char* name, const char* folder, Handler handler, void* context);

    Error LastError() const { return m_lastError; }

private:
    bool Fail(Error e) {
        m_lastError = e;
        return false;
    }

    Hooks m_hooks;
    Error m_lastError = Error::None;
};

}  // namespace cab
