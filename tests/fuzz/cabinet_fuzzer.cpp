// libFuzzer target for cab::Reader, built natively by build.sh with ASan
// and UBSan.
//
// An input is two control bytes followed by the cabinet. The first byte is
// the handler's policy (which entries it skips, where it aborts or vetoes),
// the second injects one fault into the hooks (a failed allocation, a failed
// read or seek of the cabinet, a short or failed write) or, without a fault,
// makes every read of the cabinet return only a few bytes, which must not
// change anything a caller sees. The cabinet is served from memory and every
// destination is a counting sink, so a run costs only decoding.
//
// Besides the sanitizers, the contract the updater relies on is checked
// after every run and a breach aborts like a crash: each handle closed
// exactly once, every allocation returned, events in order, each completed
// entry exactly as long as stored, errors that match what actually went
// wrong, the same bytes whatever the heap held before and whichever entries
// were skipped. With CABINET_FUZZ_EXPECT_SUCCESS set (the replay of the
// seeds made from sound cabinets), every run must also succeed.
#include "CabinetReader.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include <sanitizer/asan_interface.h>

namespace {

#define REQUIRE(c)                                                              \
    do {                                                                        \
        if (!(c)) {                                                             \
            std::fprintf(stderr, "contract broken, line %d: %s\n", __LINE__, #c); \
            std::abort();                                                       \
        }                                                                       \
    } while (0)

const char kFolder[] = "mem/";
const char kName[] = "in.cab";
const char kPath[] = "mem/in.cab";
// A few bytes of Quantum can claim megabytes of output; past this much per
// run the sinks refuse to take more (a write failure), so that fuzzing time
// goes to new inputs rather than to decoding the same one at length.
const uint64_t kOutputCap = 512 << 10;
// Distinct ranges, so a handle passed to the wrong kind of call shows.
const intptr_t kFirstInput = 0x100;
const intptr_t kFirstSink = 0x10000;

enum FaultKind { kNoFault, kAllocFault, kInputFault, kWriteFault };

struct InputFile {
    size_t pos;
    bool open;
};
struct SinkFile {
    uint64_t written = 0;
    uint32_t hash = 2166136261u;
    int closes = 0;
};

struct State {
    const uint8_t* cab;
    size_t cabSize;
    FaultKind fault;
    unsigned faultAt;
    bool faultFired;
    unsigned allocCalls, ioCalls, writeCalls;
    long liveAllocs;
    std::vector<InputFile> inputs;
    std::vector<SinkFile> sinks;
    intptr_t currentSink;  // the sink the reader may write to, 0 when none
    uint8_t generation;
    unsigned readChunk;  // reads return at most this many bytes; 0: all asked for
    uint64_t output;     // bytes the sinks took in this run
    bool capped;         // a write was refused at kOutputCap
} g;

bool FaultNow(FaultKind kind, unsigned* counter) {
    if (g.fault != kind || (*counter)++ != g.faultAt) return false;
    g.faultFired = true;
    return true;
}

InputFile* InputOf(intptr_t h) {
    REQUIRE(h >= kFirstInput && size_t(h - kFirstInput) < g.inputs.size());
    InputFile* f = &g.inputs[size_t(h - kFirstInput)];
    REQUIRE(f->open);
    return f;
}

// Decoder windows (up to 2 MiB) are kept for the next run rather than
// given back: mapping them afresh costs more than most runs' decoding.
// A kept block is poisoned, so a use after free still stops the run.
const size_t kPoolFrom = 64 * 1024;
// Never destroyed: the leak check at exit must still reach the kept blocks.
auto& g_pool = *new std::multimap<size_t, void*>;
auto& g_pooledLive = *new std::map<void*, size_t>;

void* Alloc(unsigned size) {
    if (FaultNow(kAllocFault, &g.allocCalls)) return nullptr;
    ++g.liveAllocs;
    void* p = nullptr;
    if (size >= kPoolFrom) {
        auto it = g_pool.find(size);
        if (it != g_pool.end()) {
            p = it->second;
            g_pool.erase(it);
            ASAN_UNPOISON_MEMORY_REGION(p, size);
        } else {
            p = std::malloc(size);
        }
        if (p) g_pooledLive[p] = size;
    } else {
        p = std::malloc(size ? size : 1);
    }
    // Each run leaves a different pattern behind, so anything the reader
    // hands out that it never wrote differs from one run to the next.
    if (p) std::memset(p, 0xA5 ^ g.generation, size);
    return p;
}
void Free(void* p) {
    if (!p) return;
    --g.liveAllocs;
    auto it = g_pooledLive.find(p);
    if (it == g_pooledLive.end()) return std::free(p);
    ASAN_POISON_MEMORY_REGION(p, it->second);
    g_pool.emplace(it->second, p);
    g_pooledLive.erase(it);
}
intptr_t Open(const char* path, int flags, int) {
    // Sets are not followed: no other cabinet may ever be asked for.
    REQUIRE(std::strcmp(path, kPath) == 0);
    REQUIRE(flags == (cab::kBinary | cab::kReadOnly | cab::kSequential));
    g.inputs.push_back({0, true});
    return kFirstInput + intptr_t(g.inputs.size() - 1);
}
unsigned Read(intptr_t h, void* buf, unsigned n) {
    InputFile* f = InputOf(h);
    if (FaultNow(kInputFault, &g.ioCalls)) return unsigned(-1);
    if (g.readChunk && n > g.readChunk) n = g.readChunk;
    size_t left = f->pos < g.cabSize ? g.cabSize - f->pos : 0;
    size_t take = n < left ? n : left;
    if (take) std::memcpy(buf, g.cab + f->pos, take);
    f->pos += take;
    return unsigned(take);
}
long Seek(intptr_t h, long offset, int origin) {
    InputFile* f = InputOf(h);
    REQUIRE(origin >= 0 && origin <= 2);
    if (FaultNow(kInputFault, &g.ioCalls)) return -1;
    long base = origin == 0 ? 0 : origin == 1 ? long(f->pos) : long(g.cabSize);
    if ((offset > 0 && base > LONG_MAX - offset) || base + offset < 0) return -1;
    f->pos = size_t(base + offset);
    return long(f->pos);
}
unsigned Write(intptr_t h, const void* buf, unsigned n) {
    REQUIRE(h == g.currentSink && g.currentSink != 0);
    SinkFile& s = g.sinks[size_t(h - kFirstSink)];
    REQUIRE(s.closes == 0);
    if (g.output + n > kOutputCap) {
        g.capped = true;
        return unsigned(-1);
    }
    unsigned put = n;
    if (FaultNow(kWriteFault, &g.writeCalls)) {
        if (g.faultAt & 1) return unsigned(-1);
        put = n ? n - 1 : 0;
    }
    const uint8_t* p = static_cast<const uint8_t*>(buf);
    for (unsigned i = 0; i < put; ++i) s.hash = (s.hash ^ p[i]) * 16777619u;
    s.written += put;
    g.output += put;
    return put;
}
int Close(intptr_t h) {
    if (h >= kFirstSink) {
        REQUIRE(size_t(h - kFirstSink) < g.sinks.size());
        SinkFile& s = g.sinks[size_t(h - kFirstSink)];
        REQUIRE(++s.closes == 1);
        if (h == g.currentSink) g.currentSink = 0;
        return 0;
    }
    InputOf(h)->open = false;
    return 0;
}
const cab::Hooks kHooks = {Alloc, Free, Open, Read, Write, Close, Seek};

// What the handler is told to do, from the first control byte.
struct Policy {
    enum Mode { kAll, kSkipOdd, kOnlyOne, kAbortEarly } mode;
    unsigned pick;      // the entry the mode or the refusals below refer to
    bool abortCopy;     // answer -1 to CopyFile of entry `pick`
    bool vetoComplete;  // refuse FileComplete of entry `pick` (0 or -1)
    bool vetoWithMinusOne;
};
Policy PolicyOf(uint8_t b) {
    return {Policy::Mode(b & 3), unsigned(b >> 2) & 7, (b & 0x20) != 0, (b & 0x40) != 0, (b & 0x80) != 0};
}

struct Run {
    explicit Run(Policy p) : policy(p) {}
    Policy policy;
    std::vector<int> log;  // events, in order
    int fileCount = -1;
    unsigned entries = 0;
    bool refused = false;      // the handler answered -1, or vetoed
    bool nextCabinet = false;  // NextCabinet raised
    std::vector<std::pair<unsigned, uint32_t>> completed;  // entry index, data hash
};

intptr_t Handler(cab::Event e, cab::Notification* n, void* context) {
    Run& r = *static_cast<Run*>(context);
    const Policy& p = r.policy;
    r.log.push_back(int(e));
    REQUIRE(n && n->cabinetPath && std::strcmp(n->cabinetPath, kPath) == 0);
    switch (e) {
    case cab::Event::CabinetInfo:
        REQUIRE(r.log.size() == 1);
        REQUIRE(n->name && n->disk);
        if (p.mode == Policy::kAbortEarly && p.pick == 0) return r.refused = true, -1;
        return 0;
    case cab::Event::FileCount:
        REQUIRE(n->filesRemaining >= 0);
        if (r.fileCount < 0) {
            REQUIRE(r.log.size() == 2);
            r.fileCount = n->filesRemaining;
            if (p.mode == Policy::kAbortEarly && p.pick == 1) return r.refused = true, -1;
        } else {
            REQUIRE(n->filesRemaining == 0 && r.entries == unsigned(r.fileCount));
        }
        return 0;
    case cab::Event::ContinuedFile:
    case cab::Event::CopyFile: {
        REQUIRE(r.fileCount >= 0 && r.entries < unsigned(r.fileCount));
        REQUIRE(n->name && n->size >= 0);
        REQUIRE(g.currentSink == 0);
        unsigned index = r.entries++;
        if (e == cab::Event::ContinuedFile) return 0;
        if (p.abortCopy && index == p.pick) return r.refused = true, -1;
        if (p.mode == Policy::kSkipOdd && (index & 1)) return 0;
        if (p.mode == Policy::kOnlyOne && index != p.pick) return 0;
        g.sinks.emplace_back();
        g.currentSink = kFirstSink + intptr_t(g.sinks.size() - 1);
        return g.currentSink;
    }
    case cab::Event::FileComplete: {
        REQUIRE(n->handle == g.currentSink && g.currentSink != 0);
        REQUIRE(r.log.size() >= 2 && r.log[r.log.size() - 2] == int(cab::Event::CopyFile));
        SinkFile& s = g.sinks[size_t(n->handle - kFirstSink)];
        REQUIRE(s.written == uint64_t(n->size));
        r.completed.push_back({r.entries - 1, s.hash});
        Close(n->handle);
        if (p.vetoComplete && r.entries - 1 == p.pick) return r.refused = true, p.vetoWithMinusOne ? -1 : 0;
        return 1;
    }
    case cab::Event::NextCabinet:
        REQUIRE(g.currentSink != 0 && !r.nextCabinet);
        REQUIRE(n->name && n->disk);
        r.nextCabinet = true;
        if (p.mode == Policy::kAbortEarly && p.pick == 2) return r.refused = true, -1;
        return 0;
    }
    REQUIRE(!"unknown event");
    return -1;
}

void Reset(FaultKind fault, unsigned faultAt, unsigned readChunk = 0) {
    g.fault = fault;
    g.readChunk = readChunk;
    g.faultAt = faultAt;
    g.faultFired = false;
    g.allocCalls = g.ioCalls = g.writeCalls = 0;
    g.liveAllocs = 0;
    g.inputs.clear();
    g.sinks.clear();
    g.currentSink = 0;
    g.output = 0;
    g.capped = false;
    ++g.generation;
}

// One Copy through a fresh reader, with every after-the-fact check.
// False when no reader could be made.
bool CopyOnce(Run& r, bool* ok, cab::Error* why) {
    cab::Reader* reader = cab::Reader::Create(kHooks);
    if (!reader) return false;
    *ok = reader->Copy(kName, kFolder, Handler, &r);
    *why = reader->LastError();
    cab::Reader::Destroy(reader);

    REQUIRE(g.liveAllocs == 0);
    for (const InputFile& f : g.inputs) REQUIRE(!f.open);
    for (const SinkFile& s : g.sinks) REQUIRE(s.closes == 1);
    REQUIRE(*ok == (*why == cab::Error::None));
    if (*ok) {
        REQUIRE(!r.refused && !r.nextCabinet);
        REQUIRE(r.log.size() >= 3 && r.log.back() == int(cab::Event::FileCount));
        REQUIRE(r.entries == unsigned(r.fileCount));
    }
    // Each error must name what really happened: the reader maps libmspack's
    // codes and its own observations, and the updater reports by them.
    REQUIRE((*why == cab::Error::Aborted) == r.refused);
    if (*why == cab::Error::OutOfMemory) REQUIRE(g.fault == kAllocFault && g.faultFired);
    if (*why == cab::Error::WriteFailed) REQUIRE((g.fault == kWriteFault && g.faultFired) || g.capped);
    if (*why == cab::Error::OpenFailed) REQUIRE(!"the cabinet always opens");
    if (r.nextCabinet) REQUIRE(*why == cab::Error::WrongCabinet || *why == cab::Error::Aborted);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    Policy policy = PolicyOf(data[0]);
    FaultKind fault = FaultKind(data[1] >> 6);
    unsigned faultAt = data[1] & 63;
    g.cab = data + 2;
    g.cabSize = size - 2;

    // The updater asks first whether the package is a cabinet at all; the
    // answer must agree with what Copy finds in the same header.
    Reset(kNoFault, 0);
    cab::Error headerVerdict;
    {
        cab::Reader reader(kHooks);
        intptr_t h = Open(kPath, cab::kBinary | cab::kReadOnly | cab::kSequential, 0);
        reader.IsCabinet(h, &headerVerdict);
        Close(h);
    }

    bool chunked = fault == kNoFault && faultAt != 0;
    Reset(fault, faultAt, chunked ? faultAt * 13 : 0);
    Run run(policy);
    bool ok;
    cab::Error why;
    if (!CopyOnce(run, &ok, &why)) return 0;
    if (g.fault == kNoFault && headerVerdict != cab::Error::None) REQUIRE(why == headerVerdict);
    static const bool expectSuccess = std::getenv("CABINET_FUZZ_EXPECT_SUCCESS") != nullptr;
    if (expectSuccess) REQUIRE(ok);

    // Short reads are the hook's right; the reader must see the same file.
    if (chunked) {
        Reset(kNoFault, 0);
        Run whole(policy);
        bool wholeOk;
        cab::Error wholeWhy;
        CopyOnce(whole, &wholeOk, &wholeWhy);
        REQUIRE(wholeOk == ok && wholeWhy == why);
        REQUIRE(whole.log == run.log && whole.completed == run.completed);
    }

    // Skipping an entry must not change the bytes of the entries after it:
    // the skipped data is decoded past, not jumped over. Checked against a
    // run that extracts everything, on the entries both runs completed.
    if (g.fault == kNoFault && policy.mode != Policy::kAll && !run.completed.empty()) {
        Reset(kNoFault, 0);
        Run full(Policy{Policy::kAll, 0, false, false, false});
        bool fullOk;
        cab::Error fullWhy;
        CopyOnce(full, &fullOk, &fullWhy);
        for (auto [index, hash] : run.completed) {
            for (auto [i, h] : full.completed) REQUIRE(i != index || h == hash);
        }
    }
    return 0;
}
