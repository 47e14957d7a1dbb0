// libmspack's structures carry off_t, and the cross-built library was
// configured with 64-bit file offsets: this unit must agree or every field
// after mscabd_cabinet::base_offset is read from the wrong place.
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include "CabinetReader.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include <mspack.h>

static_assert(sizeof(off_t) == 8, "libmspack is built with 64-bit off_t");

namespace cab {
namespace {

constexpr unsigned kHeaderSize = 36;
constexpr unsigned kFileEntrySize = 16;
constexpr unsigned kFlagPrevCabinet = 0x0001;
constexpr unsigned kFlagNextCabinet = 0x0002;
constexpr unsigned kFlagReservePresent = 0x0004;
constexpr unsigned kContinuedFromPrev = 0xFFFD;
constexpr unsigned kContinuedToNext = 0xFFFE;
constexpr unsigned kContinuedPrevAndNext = 0xFFFF;
constexpr int kCabinetOpenFlags = kBinary | kReadOnly | kSequential;

// libmspack's free() gets no context pointer, so each block remembers which
// free hook releases it. 16 bytes keep whatever alignment hooks.alloc gave.
constexpr unsigned kAllocPrefix = 16;

// Reads of the cabinet are served from a buffer this large: libmspack asks
// for each data block's 8-byte header and then its data, and each of those
// would otherwise be a system call (a costly one under Wine). The fuzzing
// build makes it small, so that refills and seeks past its end happen
// within the few kilobytes a fuzzed cabinet has.
#ifndef CABINET_READ_AHEAD
#define CABINET_READ_AHEAD (64 * 1024)
#endif
constexpr unsigned kReadAhead = CABINET_READ_AHEAD;
// libmspack's own buffer for decoding; in stored folders it is also the
// size of every write, which at the default 4 KiB is a system call per page.
constexpr int kDecodeBuffer = 64 * 1024;

// extract() insists on opening its output by name. This name is recognised
// by address, so no cabinet path can ever be mistaken for it.
const char kOutputName[] = "<cabinet reader output>";

unsigned Le16(const unsigned char* p) { return p[0] | (p[1] << 8); }

struct Session;

struct FileObj {
    Session* session;
    intptr_t handle;
    bool output;
    // Input only: the read-ahead buffer (allocated after this object), the
    // part of it not yet handed out, and the handle's own position, which
    // lies at the buffer's end.
    unsigned char* ahead;
    unsigned aheadPos, aheadLen;
    long long filePos;
};

struct Session {
    mspack_system sys;
    const Hooks* hooks;
    FileObj out;
    bool extracting;
    bool crossedCabinetEnd;
    bool writeFailed;
    bool outOfMemory;
};

// The session of the Copy running on this thread. libmspack's extract()
// hands the decompressors a by-value copy of our mspack_system, so the self
// pointer they pass to alloc() cannot lead back to the session.
thread_local Session* t_session;

struct ActiveSession {
    Session* saved;
    explicit ActiveSession(Session* s) : saved(t_session) { t_session = s; }
    ~ActiveSession() { t_session = saved; }
};

FileObj* FileOf(mspack_file* f) { return reinterpret_cast<FileObj*>(f); }

void* SysAlloc(mspack_system*, size_t bytes) {
    Session* s = t_session;
    if (bytes > UINT_MAX - kAllocPrefix) {
        s->outOfMemory = true;
        return nullptr;
    }
    auto* block = static_cast<unsigned char*>(s->hooks->alloc(static_cast<unsigned>(bytes) + kAllocPrefix));
    if (!block) {
        s->outOfMemory = true;
        return nullptr;
    }
    void (*release)(void*) = s->hooks->free;
    std::memcpy(block, &release, sizeof release);
    // The MSZIP and Quantum decoders accept a match reaching back before the
    // start of the stream and copy from a window nothing has written yet:
    // without this, a damaged package would be extracted with whatever the
    // heap held, differently each time.
    std::memset(block + kAllocPrefix, 0, bytes);
    return block + kAllocPrefix;
}

void SysFree(void* p) {
    if (!p) return;
    unsigned char* block = static_cast<unsigned char*>(p) - kAllocPrefix;
    void (*release)(void*);
    std::memcpy(&release, block, sizeof release);
    release(block);
}

void SysCopy(void* src, void* dest, size_t bytes) { std::memcpy(dest, src, bytes); }

void SysMessage(mspack_file*, const char*, ...) {}

mspack_file* SysOpen(mspack_system* self, const char* filename, int mode) {
    Session* s = t_session;
    if (filename == kOutputName) {
        return mode == MSPACK_SYS_OPEN_WRITE ? reinterpret_cast<mspack_file*>(&s->out) : nullptr;
    }
    if (mode != MSPACK_SYS_OPEN_READ) return nullptr;
    void* mem = SysAlloc(self, sizeof(FileObj) + kReadAhead);
    if (!mem) return nullptr;
    intptr_t h = s->hooks->open(filename, kCabinetOpenFlags, 0);
    if (h == -1) {
        SysFree(mem);
        return nullptr;
    }
    auto* ahead = static_cast<unsigned char*>(mem) + sizeof(FileObj);
    return reinterpret_cast<mspack_file*>(new (mem) FileObj{s, h, false, ahead, 0, 0, 0});
}

void SysClose(mspack_file* f) {
    FileObj* fo = FileOf(f);
    if (!fo || fo->output) return;  // the destination belongs to the handler
    Session* s = fo->session;
    s->hooks->close(fo->handle);
    // Within one extract() on an unjoined cabinet, the input is only let go
    // when a data block continues into the next cabinet of a set.
    if (s->extracting) s->crossedCabinetEnd = true;
    SysFree(fo);
}

// Fills the whole request unless the file ends (short count) or a read fails
// (-1). libmspack never asks for more than a data block at once, far less
// than the buffer, so every read can go through it.
int SysRead(mspack_file* f, void* buffer, int bytes) {
    FileObj* fo = FileOf(f);
    if (!fo || fo->output || bytes < 0) return -1;
    const Hooks* hooks = fo->session->hooks;
    auto* out = static_cast<unsigned char*>(buffer);
    unsigned want = static_cast<unsigned>(bytes), done = 0;
    while (done < want) {
        if (fo->aheadPos == fo->aheadLen) {
            unsigned got = hooks->read(fo->handle, fo->ahead, kReadAhead);
            if (got == static_cast<unsigned>(-1) || got > kReadAhead) return -1;
            if (got == 0) break;
            fo->filePos += got;
            fo->aheadPos = 0;
            fo->aheadLen = got;
        }
        unsigned take = std::min(want - done, fo->aheadLen - fo->aheadPos);
        std::memcpy(out + done, fo->ahead + fo->aheadPos, take);
        fo->aheadPos += take;
        done += take;
    }
    return static_cast<int>(done);
}

int SysWrite(mspack_file* f, void* buffer, int bytes) {
    FileObj* fo = FileOf(f);
    if (!fo || !fo->output || bytes < 0) return -1;
    Session* s = fo->session;
    unsigned put = s->hooks->write(fo->handle, buffer, static_cast<unsigned>(bytes));
    if (put != static_cast<unsigned>(bytes)) {
        s->writeFailed = true;
        return put < static_cast<unsigned>(bytes) ? static_cast<int>(put) : -1;
    }
    return bytes;
}

long long LogicalPos(const FileObj* fo) { return fo->filePos - (fo->aheadLen - fo->aheadPos); }

// A target inside the buffer only moves the read point; anything else
// goes to the hook and empties the buffer.
int SysSeek(mspack_file* f, off_t offset, int mode) {
    FileObj* fo = FileOf(f);
    if (!fo || fo->output || offset > LONG_MAX || offset < LONG_MIN) return -1;
    if (mode == MSPACK_SYS_SEEK_START || mode == MSPACK_SYS_SEEK_CUR) {
        long long target = mode == MSPACK_SYS_SEEK_START ? offset : LogicalPos(fo) + offset;
        long long bufferStart = fo->filePos - fo->aheadLen;
        if (target >= bufferStart && target <= fo->filePos) {
            fo->aheadPos = static_cast<unsigned>(target - bufferStart);
            return 0;
        }
        if (target < 0 || target > LONG_MAX) return -1;
        offset = target;
        mode = MSPACK_SYS_SEEK_START;
    }
    long pos = fo->session->hooks->seek(fo->handle, static_cast<long>(offset), mode);
    if (pos < 0) return -1;
    fo->aheadPos = fo->aheadLen = 0;
    fo->filePos = pos;
    return 0;
}

off_t SysTell(mspack_file* f) {
    FileObj* fo = FileOf(f);
    if (!fo || fo->output) return -1;
    return LogicalPos(fo);
}

void InitSession(Session& s, const Hooks& hooks) {
    std::memset(&s, 0, sizeof s);
    s.sys.open = SysOpen;
    s.sys.close = SysClose;
    s.sys.read = SysRead;
    s.sys.write = SysWrite;
    s.sys.seek = SysSeek;
    s.sys.tell = SysTell;
    s.sys.message = SysMessage;
    s.sys.alloc = SysAlloc;
    s.sys.free = SysFree;
    s.sys.copy = SysCopy;
    s.sys.null_ptr = nullptr;
    s.hooks = &hooks;
    s.out.session = &s;
    s.out.output = true;
}

// Reads until n bytes or end of file, as a hook may legitimately return
// short: the count read, or -1 when a read fails.
long ReadUpTo(const Hooks& hooks, intptr_t h, void* buf, unsigned n) {
    auto* p = static_cast<unsigned char*>(buf);
    unsigned done = 0;
    while (done < n) {
        unsigned got = hooks.read(h, p + done, n - done);
        if (got == static_cast<unsigned>(-1) || got > n - done) return -1;
        if (got == 0) break;
        done += got;
    }
    return static_cast<long>(done);
}

bool ReadFully(const Hooks& hooks, intptr_t h, void* buf, unsigned n) {
    return ReadUpTo(hooks, h, buf, n) == static_cast<long>(n);
}

Error ReadHeader(const Hooks& hooks, intptr_t h, unsigned char (&hdr)[kHeaderSize]) {
    if (hooks.seek(h, 0, 0) != 0 || !ReadFully(hooks, h, hdr, kHeaderSize)) return Error::NotCabinet;
    if (std::memcmp(hdr, "MSCF", 4) != 0) return Error::NotCabinet;
    if (hdr[24] != 3 || hdr[25] != 1) return Error::UnknownVersion;
    return Error::None;
}

// Same shape as libmspack's string reader (one read of up to 256 bytes, then
// seek past the terminator) so both walks land on the same entries.
bool SkipString(const Hooks& hooks, intptr_t h) {
    long base = hooks.seek(h, 0, 1);
    if (base < 0) return false;
    char buf[256];
    long got = ReadUpTo(hooks, h, buf, sizeof buf);
    if (got <= 0) return false;
    const void* nul = std::memchr(buf, 0, static_cast<size_t>(got));
    if (!nul) return false;
    long len = long(static_cast<const char*>(nul) - buf);
    return hooks.seek(h, base + len + 1, 0) >= 0;
}

// libmspack resolves each entry's stored folder index to a folder pointer and
// drops the continuation markers; the events depend on them, so they are
// read again here, walking the header the same sequential way libmspack does
// (not through the header's files offset, which it ignores).
bool ReadStoredFolderIndices(const Hooks& hooks, intptr_t h, const unsigned char (&hdr)[kHeaderSize],
                             unsigned short* out, unsigned count) {
    unsigned flags = Le16(hdr + 30);
    unsigned folderReserve = 0;
    if (hooks.seek(h, kHeaderSize, 0) < 0) return false;
    if (flags & kFlagReservePresent) {
        unsigned char ext[4];
        if (!ReadFully(hooks, h, ext, sizeof ext)) return false;
        folderReserve = ext[2];
        if (hooks.seek(h, static_cast<long>(Le16(ext)), 1) < 0) return false;
    }
    int strings = ((flags & kFlagPrevCabinet) ? 2 : 0) + ((flags & kFlagNextCabinet) ? 2 : 0);
    for (int i = 0; i < strings; ++i) {
        if (!SkipString(hooks, h)) return false;
    }
    long folderTable = static_cast<long>(Le16(hdr + 26)) * static_cast<long>(8 + folderReserve);
    if (hooks.seek(h, folderTable, 1) < 0) return false;
    for (unsigned i = 0; i < count; ++i) {
        unsigned char entry[kFileEntrySize];
        if (!ReadFully(hooks, h, entry, sizeof entry)) return false;
        out[i] = static_cast<unsigned short>(Le16(entry + 8));
        if (!SkipString(hooks, h)) return false;
    }
    return true;
}

Error FromMspack(int code) {
    switch (code) {
    case MSPACK_ERR_OK: return Error::None;
    case MSPACK_ERR_OPEN: return Error::OpenFailed;
    case MSPACK_ERR_NOMEMORY: return Error::OutOfMemory;
    case MSPACK_ERR_SIGNATURE: return Error::NotCabinet;
    case MSPACK_ERR_WRITE: return Error::WriteFailed;
    case MSPACK_ERR_DECRUNCH: return Error::DecompressFailed;
    default: return Error::Corrupt;  // ARGS, READ, SEEK, DATAFORMAT, CHECKSUM
    }
}

// libmspack reports an unusable window size as an allocation failure (its
// init returns null), so the folder type is judged before extraction.
bool CompressionSupported(int compType) {
    int windowBits = (compType >> 8) & 0x1F;
    switch (compType & 0x0F) {
    case MSCAB_COMP_NONE:
    case MSCAB_COMP_MSZIP: return true;
    case MSCAB_COMP_QUANTUM: return windowBits >= 10 && windowBits <= 21;
    case MSCAB_COMP_LZX: return windowBits >= 15 && windowBits <= 21;
    default: return false;
    }
}

unsigned short DosDate(const mscabd_file* f) {
    return static_cast<unsigned short>(((f->date_y - 1980) << 9) | ((f->date_m & 0x0F) << 5) | (f->date_d & 0x1F));
}

unsigned short DosTime(const mscabd_file* f) {
    return static_cast<unsigned short>(((f->time_h & 0x1F) << 11) | ((f->time_m & 0x3F) << 5) | ((f->time_s & 0x3F) / 2));
}

// Everything Copy acquires, released on every way out.
struct CopyResources {
    const Hooks& hooks;
    char* path = nullptr;
    intptr_t cabinet = -1;
    unsigned short* storedFolders = nullptr;
    mscab_decompressor* decompressor = nullptr;
    mscabd_cabinet* opened = nullptr;

    explicit CopyResources(const Hooks& h) : hooks(h) {}
    ~CopyResources() {
        if (opened) decompressor->close(decompressor, opened);
        // Destroying, not just closing, also releases an input handle left
        // open by an extraction that failed before it settled on a folder.
        if (decompressor) mspack_destroy_cab_decompressor(decompressor);
        if (cabinet != -1) hooks.close(cabinet);
        hooks.free(storedFolders);
        hooks.free(path);
    }
};

}  // namespace

Reader::Reader(const Hooks& hooks) : m_hooks(hooks) {}

Reader* Reader::Create(const Hooks& hooks) {
    void* mem = hooks.alloc(sizeof(Reader));
    return mem ? new (mem) Reader(hooks) : nullptr;
}

void Reader::Destroy(Reader* reader) {
    if (!reader) return;
    void (*release)(void*) = reader->m_hooks.free;
    reader->~Reader();
    release(reader);
}

bool Reader::IsCabinet(intptr_t handle, Error* why) {
    unsigned char hdr[kHeaderSize];
    Error e = ReadHeader(m_hooks, handle, hdr);
    if (why) *why = e;
    m_lastError = e;
    return e == Error::None;
}

bool Reader::Copy(const char* name, const char* folder, Handler handler, void* context) {
    m_lastError = Error::None;
    // Declared first: libmspack calls back into it while res is torn down.
    Session session;
    InitSession(session, m_hooks);
    ActiveSession active(&session);
    CopyResources res(m_hooks);

    size_t folderLen = std::strlen(folder);
    size_t nameLen = std::strlen(name);
    if (folderLen + nameLen >= UINT_MAX) return Fail(Error::OutOfMemory);
    res.path = static_cast<char*>(m_hooks.alloc(static_cast<unsigned>(folderLen + nameLen + 1)));
    if (!res.path) return Fail(Error::OutOfMemory);
    std::memcpy(res.path, folder, folderLen);
    std::memcpy(res.path + folderLen, name, nameLen + 1);

    // libmspack only warns about a foreign version; the caller must be told.
    res.cabinet = m_hooks.open(res.path, kCabinetOpenFlags, 0);
    if (res.cabinet == -1) return Fail(Error::OpenFailed);
    unsigned char hdr[kHeaderSize];
    if (Error e = ReadHeader(m_hooks, res.cabinet, hdr); e != Error::None) return Fail(e);

    // libmspack refuses a cabinet without entries, but one without files has
    // simply nothing to extract, whatever folder records it carries: no
    // entry refers to their data, so none of it is read.
    if (Le16(hdr + 28) == 0) {
        Notification n{};
        n.name = n.disk = "";
        n.cabinetPath = res.path;
        n.setId = static_cast<unsigned short>(Le16(hdr + 32));
        n.cabinetIndex = static_cast<unsigned short>(Le16(hdr + 34));
        if (handler(Event::CabinetInfo, &n, context) == -1) return Fail(Error::Aborted);
        n = Notification{};
        n.cabinetPath = res.path;
        for (int i = 0; i < 2; ++i) {
            if (handler(Event::FileCount, &n, context) == -1) return Fail(Error::Aborted);
        }
        return true;
    }

    res.decompressor = mspack_create_cab_decompressor(&session.sys);
    if (!res.decompressor) return Fail(Error::OutOfMemory);
    res.decompressor->set_param(res.decompressor, MSCABD_PARAM_FIXMSZIP, 0);
    res.decompressor->set_param(res.decompressor, MSCABD_PARAM_SALVAGE, 0);
    res.decompressor->set_param(res.decompressor, MSCABD_PARAM_DECOMPBUF, kDecodeBuffer);

    res.opened = res.decompressor->open(res.decompressor, res.path);
    if (!res.opened) {
        return Fail(session.outOfMemory ? Error::OutOfMemory
                                        : FromMspack(res.decompressor->last_error(res.decompressor)));
    }
    mscabd_cabinet* cabinet = res.opened;

    unsigned fileCount = Le16(hdr + 28);
    res.storedFolders = static_cast<unsigned short*>(m_hooks.alloc(fileCount * sizeof(unsigned short)));
    if (!res.storedFolders) return Fail(Error::OutOfMemory);
    if (!ReadStoredFolderIndices(m_hooks, res.cabinet, hdr, res.storedFolders, fileCount)) {
        return Fail(Error::Corrupt);
    }
    m_hooks.close(res.cabinet);
    res.cabinet = -1;

    unsigned listed = 0;
    for (mscabd_file* f = cabinet->files; f; f = f->next) ++listed;
    if (listed != fileCount) return Fail(Error::Corrupt);

    // Without the previous cabinet, nothing in a folder that began there can
    // be decoded, not even the entries that start in this one.
    bool firstFolderContinued = false;
    for (unsigned i = 0; i < fileCount; ++i) {
        unsigned stored = res.storedFolders[i];
        if (stored == kContinuedFromPrev || stored == kContinuedPrevAndNext) firstFolderContinued = true;
    }

    const char* nextName = cabinet->nextname ? cabinet->nextname : "";
    const char* nextDisk = cabinet->nextinfo ? cabinet->nextinfo : "";

    Notification n{};
    n.name = nextName;
    n.disk = nextDisk;
    n.cabinetPath = res.path;
    n.setId = cabinet->set_id;
    n.cabinetIndex = cabinet->set_index;
    if (handler(Event::CabinetInfo, &n, context) == -1) return Fail(Error::Aborted);

    n = Notification{};
    n.cabinetPath = res.path;
    n.filesRemaining = static_cast<int>(fileCount);
    if (handler(Event::FileCount, &n, context) == -1) return Fail(Error::Aborted);

    unsigned index = 0;
    for (mscabd_file* f = cabinet->files; f; f = f->next, ++index) {
        unsigned stored = res.storedFolders[index];
        n = Notification{};
        n.name = f->filename;
        n.cabinetPath = res.path;
        n.size = f->length > static_cast<unsigned>(LONG_MAX) ? LONG_MAX : static_cast<long>(f->length);
        n.folder = static_cast<int>(stored);
        n.date = DosDate(f);
        n.time = DosTime(f);
        n.attribs = static_cast<unsigned short>(f->attribs);

        bool continued = stored == kContinuedFromPrev || stored == kContinuedPrevAndNext ||
                         (firstFolderContinued && f->folder == cabinet->folders);
        if (continued) {
            if (handler(Event::ContinuedFile, &n, context) == -1) return Fail(Error::Aborted);
            continue;
        }

        intptr_t dest = handler(Event::CopyFile, &n, context);
        if (dest == -1) return Fail(Error::Aborted);
        if (dest == 0) continue;

        Error e = Error::None;
        if (stored == kContinuedToNext) {
            e = Error::WrongCabinet;
        } else if (!CompressionSupported(f->folder->comp_type)) {
            e = Error::BadCompression;
        } else {
            session.out.handle = dest;
            session.extracting = true;
            session.crossedCabinetEnd = false;
            session.writeFailed = false;
            session.outOfMemory = false;
            int rc = res.decompressor->extract(res.decompressor, f, kOutputName);
            session.extracting = false;
            if (rc != MSPACK_ERR_OK) {
                if (session.writeFailed) e = Error::WriteFailed;
                else if (session.outOfMemory) e = Error::OutOfMemory;
                else if (session.crossedCabinetEnd && (cabinet->flags & kFlagNextCabinet)) e = Error::WrongCabinet;
                else e = FromMspack(rc);
            }
        }

        if (e != Error::None) {
            bool aborted = false;
            if (e == Error::WrongCabinet) {
                Notification next{};
                next.name = nextName;
                next.disk = nextDisk;
                next.cabinetPath = res.path;
                next.setId = cabinet->set_id;
                next.cabinetIndex = cabinet->set_index;
                aborted = handler(Event::NextCabinet, &next, context) == -1;
            }
            m_hooks.close(dest);
            return Fail(aborted ? Error::Aborted : e);
        }

        n.handle = dest;
        intptr_t verdict = handler(Event::FileComplete, &n, context);
        if (verdict == 0 || verdict == -1) return Fail(Error::Aborted);
    }

    n = Notification{};
    n.cabinetPath = res.path;
    n.filesRemaining = 0;
    if (handler(Event::FileCount, &n, context) == -1) return Fail(Error::Aborted);
    return true;
}

}  // namespace cab
