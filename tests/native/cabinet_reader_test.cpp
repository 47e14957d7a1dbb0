// Native harness for cab::Reader, built by build.sh with the sanitizers.
//
// Runs the reader over POSIX-backed hooks against libmspack's cabinet corpus
// and against cabinets made here with gcab and with the project's LZX writer
// (tools/mklzxcab.c), checking what a caller sees:
// event order, bytes, metadata, error codes, and that every handle and
// allocation the reader takes is given back exactly once.
#include "CabinetReader.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" void* md5_buffer(const char* buffer, size_t len, void* resblock);

namespace {

int g_checkFailures;
#define CHECK(c)                                                                  \
    do {                                                                          \
        if (!(c)) {                                                               \
            std::printf("    FAIL line %d: %s\n", __LINE__, #c);                  \
            ++g_checkFailures;                                                    \
        }                                                                         \
    } while (0)

std::string g_corpus, g_scratch, g_lzxWriter;

// ---- hooks over POSIX, with bookkeeping ----
struct Sink {  // a destination handed out by the handler
    std::string data;
    int closes = 0;
};
std::set<int> g_openFds;
std::map<intptr_t, Sink> g_sinks;
intptr_t g_nextSink = 1 << 20;
long g_liveAllocs, g_allocCalls, g_failAllocAt = -1;
int g_badCloses;
unsigned g_writeShortBy;  // how many bytes each write leaves unwritten
bool g_writeFails;        // writes report an error instead

void* Alloc(unsigned size) {
    if (g_allocCalls++ == g_failAllocAt) return nullptr;
    ++g_liveAllocs;
    return std::malloc(size ? size : 1);
}
void Free(void* p) {
    if (p) --g_liveAllocs;
    std::free(p);
}
intptr_t Open(const char* path, int flags, int mode) {
    int o = (flags & cab::kWriteOnly) ? O_WRONLY : O_RDONLY;
    if (flags & cab::kCreate) o |= O_CREAT | O_TRUNC;
    int fd = ::open(path, o, mode);
    if (fd < 0) return -1;
    g_openFds.insert(fd);
    return fd;
}
unsigned Read(intptr_t h, void* buf, unsigned n) { return static_cast<unsigned>(::read(int(h), buf, n)); }
unsigned Write(intptr_t h, const void* buf, unsigned n) {
    auto it = g_sinks.find(h);
    if (it == g_sinks.end()) return static_cast<unsigned>(::write(int(h), buf, n));
    if (g_writeFails) return static_cast<unsigned>(-1);
    unsigned take = n > g_writeShortBy ? n - g_writeShortBy : 0;
    it->second.data.append(static_cast<const char*>(buf), take);
    return take;
}
int Close(intptr_t h) {
    auto it = g_sinks.find(h);
    if (it != g_sinks.end()) return ++it->second.closes == 1 ? 0 : (++g_badCloses, -1);
    if (!g_openFds.erase(int(h))) return ++g_badCloses, -1;
    return ::close(int(h));
}
long Seek(intptr_t h, long off, int origin) { return static_cast<long>(::lseek(int(h), off, origin)); }
const cab::Hooks kHooks = {Alloc, Free, Open, Read, Write, Close, Seek};

// ---- a scripted handler that records what it is told ----
struct Entry {
    std::string name, data;
    long size;
    int folder;
    unsigned short date, time, attribs;
};
struct Script {
    std::set<std::string> skip;
    std::string abortAt;  // "Event name" to answer -1
    bool vetoComplete = false;
    std::vector<std::string> log;
    std::vector<Entry> done;
};
const char* const kEventNames[] = {"CabinetInfo", "FileCount", "ContinuedFile", "CopyFile", "FileComplete", "NextCabinet"};

intptr_t Handler(cab::Event e, cab::Notification* n, void* context) {
    Script& s = *static_cast<Script*>(context);
    std::string line = kEventNames[int(e)];
    if (e == cab::Event::FileCount) line += " " + std::to_string(n->filesRemaining);
    else if (n->name && *n->name) line += std::string(" ") + n->name;
    s.log.push_back(line);
    if (line == s.abortAt) return -1;
    if (e == cab::Event::CopyFile) {
        if (s.skip.count(n->name)) return 0;
        g_sinks[g_nextSink];
        return g_nextSink++;
    }
    if (e == cab::Event::FileComplete) {
        Sink& sink = g_sinks[n->handle];
        s.done.push_back({n->name, sink.data, n->size, n->folder, n->date, n->time, n->attribs});
        Close(n->handle);
        return s.vetoComplete ? 0 : 1;
    }
    return 0;
}

// Runs one Copy and checks the invariants every run must keep.
bool Run(const std::string& path, Script& s, cab::Error* why = nullptr) {
    size_t slash = path.rfind('/');
    g_sinks.clear();
    g_liveAllocs = g_allocCalls = g_badCloses = 0;
    cab::Reader* reader = cab::Reader::Create(kHooks);
    if (!reader) {
        if (why) *why = cab::Error::OutOfMemory;
        return false;
    }
    alarm(20);  // a looping reader must not hang the run
    bool ok = reader->Copy(path.c_str() + slash + 1, path.substr(0, slash + 1).c_str(), Handler, &s);
    alarm(0);
    if (why) *why = reader->LastError();
    cab::Reader::Destroy(reader);
    CHECK(g_openFds.empty());
    CHECK(g_liveAllocs == 0);
    CHECK(g_badCloses == 0);
    for (auto& [h, sink] : g_sinks) CHECK(sink.closes == 1);
    return ok;
}

std::string Slurp(const std::string& path) {
    std::string out;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
        std::fclose(f);
    }
    return out;
}
void Spit(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}
// A corpus cabinet copied to scratch with some bytes replaced.
std::string Patched(const char* corpusName, std::map<size_t, unsigned char> bytes, size_t truncateTo = 0) {
    std::string data = Slurp(g_corpus + corpusName);
    for (auto [at, v] : bytes) data[at] = char(v);
    if (truncateTo) data.resize(truncateTo);
    std::string path = g_scratch + "/patched_" + corpusName;
    Spit(path, data);
    return path;
}
std::string Md5(const std::string& s) {
    unsigned char d[16];
    md5_buffer(s.data(), s.size(), d);
    char hex[33];
    for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", d[i]);
    return hex;
}
std::vector<std::string> Log(std::initializer_list<const char*> l) { return {l.begin(), l.end()}; }

// ---- the cases ----
void StoredCorpusCabinetExtractsInOrder() {
    Script s;
    CHECK(Run(g_corpus + "normal_2files_1folder.cab", s));
    CHECK(s.log == Log({"CabinetInfo", "FileCount 2", "CopyFile hello.c", "FileComplete hello.c", "CopyFile welcome.c",
                        "FileComplete welcome.c", "FileCount 0"}));
    CHECK(s.done.size() == 2);
    if (s.done.size() != 2) return;
    CHECK(s.done[0].data == "#include <stdio.h>\r\n\r\nvoid main(void)\r\n{\r\n    printf(\"Hello, world!\\n\");\r\n}\r\n");
    CHECK(s.done[1].data == "#include <stdio.h>\r\n\r\nvoid main(void)\r\n{\r\n    printf(\"Welcome!\\n\");\r\n}\r\n\r\n");
    CHECK(s.done[0].size == 77 && s.done[1].size == 74);
    CHECK(s.done[0].date == 0x226c && s.done[0].time == 0x59ba && s.done[1].time == 0x59e7);
    CHECK(s.done[0].attribs == 0x20 && s.done[0].folder == 0);
}

void EveryCompressionDecodes() {
    Script s;
    CHECK(Run(g_corpus + "mszip_lzx_qtm.cab", s));
    CHECK(s.done.size() == 3);
    if (s.done.size() != 3) return;
    CHECK(Md5(s.done[0].data) == "940cba86658fbceb582faecd2b5975d1");
    CHECK(Md5(s.done[1].data) == "703474293b614e7110b3eb8ac2762b53");
    CHECK(Md5(s.done[2].data) == "98fcfa4962a0f169a3c7fdbcb445cf17");
    CHECK(s.done[1].folder == 1 && s.done[2].folder == 2);
}

// A path as one shell word (the build folder may hold blanks).
std::string Q(const std::string& path) { return "'" + path + "'"; }

void GcabCabinetsRoundTrip() {
    std::string dir = g_scratch + "/gcab";
    std::string bravo, charlie;
    unsigned x = 12345;
    for (int i = 0; i < 100000; ++i) bravo += char((x = x * 1103515245 + 12345) >> 16);
    for (int i = 0; i < 3000; ++i) charlie += "line " + std::to_string(i % 97) + " of the compressible one\n";
    const std::string utfName = "\xe3\x83\x81\xe3\x83\xa3\xe3\x83\xbc.txt";
    std::system(("mkdir -p " + Q(dir)).c_str());
    Spit(dir + "/alpha.txt", "alpha\n");
    Spit(dir + "/bravo.bin", bravo);
    Spit(dir + "/" + utfName, charlie);
    std::string files = " alpha.txt bravo.bin " + utfName;
    std::system(("cd " + Q(dir) + " && touch -d '2021-03-04 05:06:08' " + files + " && gcab -c stored.cab" + files +
                 " && gcab -z -c mszip.cab" + files).c_str());
    for (const char* kind : {"stored.cab", "mszip.cab"}) {
        std::printf("    %s\n", kind);
        Script s;
        CHECK(Run(dir + "/" + kind, s));
        CHECK(s.done.size() == 3);
        if (s.done.size() != 3) continue;
        CHECK(s.done[0].data == "alpha\n" && s.done[1].data == bravo && s.done[2].data == charlie);
        CHECK(s.done[1].size == 100000 && s.done[2].name == utfName);
        CHECK(s.done[1].date == 0x5264 && s.done[1].time == 0x28c4);
        CHECK(s.done[0].attribs == 0x20 && s.done[2].attribs == 0xa0);

        Script skipping;  // the skipped bytes must still be decoded past
        skipping.skip = {"alpha.txt", "bravo.bin"};
        CHECK(Run(dir + "/" + kind, skipping));
        CHECK(skipping.done.size() == 1 && skipping.done[0].data == charlie);
        CHECK(skipping.log[2] == "CopyFile alpha.txt" && skipping.log[3] == "CopyFile bravo.bin");
    }
}

// What the LZX writer says it wrote (its line on stderr): verbatim, aligned
// and uncompressed blocks, matches on R0, R1 and R2.
struct Written {
    unsigned long n[6] = {};
};
bool WriteLzx(const std::string& dir, const std::string& options, const std::vector<std::string>& names,
              Written& w) {
    std::string command = Q(g_lzxWriter) + " " + options + " " + Q(dir + "/lzx.cab") + " " + Q(dir + "/in");
    for (const std::string& n : names) command += " " + n;
    if (std::system((command + " 2>" + Q(dir + "/writer.log")).c_str()) != 0) return false;
    std::string log = Slurp(dir + "/writer.log");
    size_t at = log.find("blocks ");
    return at != std::string::npos &&
           std::sscanf(log.c_str() + at,
                       "blocks verbatim=%lu aligned=%lu uncompressed=%lu; literals=%*u new=%*u r0=%lu r1=%lu r2=%lu",
                       &w.n[0], &w.n[1], &w.n[2], &w.n[3], &w.n[4], &w.n[5]) == 6;
}

void LzxWriterCabinetsRoundTrip() {
    std::string dir = g_scratch + "/lzx";
    std::system(("mkdir -p " + Q(dir + "/in")).c_str());
    std::map<std::string, std::string> in;
    unsigned x = 99;
    auto next = [&x] { return (x = x * 1103515245 + 12345) >> 16 & 0xff; };
    for (int i = 0; i < 5000; ++i)
        in["text.txt"] += "line " + std::to_string(i) + " says " + std::to_string(i * 7919 % 1000) + "\n";
    for (int i = 0; i < 70000; ++i) in["noise.bin"] += char(next());
    for (int i = 0; i < 60; ++i) in["runs.bin"] += std::string(100 + next() * 16, char(next() & 3));
    for (int i = 0; i < 8000; ++i) {  // calls with near targets, for the E8 translation
        in["calls.bin"] += i % 3 ? std::string(1 + next() % 4, char(next() & 0x70)) : "\xe8";
        in["calls.bin"] += {char(next()), char(next() & 0x1f), 0, 0};
    }
    const char* const words[] = {"alpha", "bravo", "charlie", "delta"};
    for (int i = 0; i < 6000; ++i) {  // the same fields at varying distances: repeated offsets
        std::string field = words[next() % 4];
        in["fields.txt"] += field + "=" + std::to_string(next() % 10) + ";" + words[next() % 4] + "|";
    }
    in["empty.dat"];
    in["x.txt"] = "x";
    in["y.bin"] = in["calls.bin"].substr(0, 3000) + in["noise.bin"].substr(0, 3000);  // far back: 17 footer bits
    std::vector<std::string> names;
    for (auto& [name, bytes] : in) names.push_back(name), Spit(dir + "/in/" + name, bytes);

    // Windows of 2^15 to 2^21; kinds: the block types that must appear (and
    // no other), "" for the writer's own choice.
    const struct {
        const char *options, *kinds;
    } configs[] = {
        {"-w 15 -b v", "v"},                     // the window wraps many times
        {"-w 16 -b a -x", "a"},                  // no E8 translation
        {"-w 17 -b uv -s 1501", "vu"},           // odd uncompressed blocks inside frames
        {"-w 18 -b vau -s 20000 -n 2", "vau"},   // blocks across frames, four folders
        {"-w 19 -b av -s 50000 -e 4096", "va"},  // E8 translation with a small file size
        {"-w 20 -n 3", ""},
        {"-w 21", ""},
    };
    Written all;
    for (auto& c : configs) {
        std::printf("    %s\n", c.options);
        Written w;
        CHECK(WriteLzx(dir, c.options, names, w));
        for (int k = 0; k < 3 && *c.kinds; ++k) CHECK((w.n[k] > 0) == (std::strchr(c.kinds, "vau"[k]) != nullptr));
        for (int k = 0; k < 6; ++k) all.n[k] += w.n[k];

        Script s, skipping;
        CHECK(Run(dir + "/lzx.cab", s));
        CHECK(s.done.size() == names.size());
        for (size_t i = 0; i < s.done.size() && i < names.size(); ++i)
            CHECK(s.done[i].name == names[i] && s.done[i].data == in[names[i]] &&
                  s.done[i].size == long(in[names[i]].size()));
        CHECK(!s.done.empty() && s.done[0].date == 0x5a21 && s.done[0].time == 0x6000 && s.done[0].attribs == 0x20);
        skipping.skip = {names[0], names[1], names[4]};  // decoded past, not written
        CHECK(Run(dir + "/lzx.cab", skipping));
        CHECK(skipping.done.size() == names.size() - 3 && skipping.done.back().data == in[names.back()]);

        // An independent reader takes the same bytes out.
        std::system(("rm -rf " + Q(dir + "/out")).c_str());
        CHECK(std::system(("cabextract -q -d " + Q(dir + "/out") + " " + Q(dir + "/lzx.cab")).c_str()) == 0);
        for (auto& [name, bytes] : in)
            CHECK(access((dir + "/out/" + name).c_str(), F_OK) == 0 && Slurp(dir + "/out/" + name) == bytes);
    }
    for (unsigned long n : all.n) CHECK(n > 0);
}

void AttributesPassThroughUnchanged() {
    Script s;
    CHECK(Run(Patched("normal_2files_1folder.cab", {{44 + 14, 0xe1}}), s));
    CHECK(!s.done.empty() && s.done[0].attribs == 0xe1);
}

void HandlerAbortsStopTheRun() {
    for (const char* at : {"CabinetInfo", "FileCount 2", "CopyFile welcome.c"}) {
        Script s;
        s.abortAt = at;
        cab::Error why;
        CHECK(!Run(g_corpus + "normal_2files_1folder.cab", s, &why));
        CHECK(why == cab::Error::Aborted && s.log.back() == at);
    }
    Script veto;  // the handler already closed its handle: the reader must not
    veto.vetoComplete = true;
    cab::Error why;
    CHECK(!Run(g_corpus + "normal_2files_1folder.cab", veto, &why));
    CHECK(why == cab::Error::Aborted && veto.log.back() == "FileComplete hello.c");
}

void ShortWritesFailAndCloseOnce() {
    // Each decoder has its own write path; extract only one file at a time.
    const char* const cases[][2] = {{"normal_2files_1folder.cab", "hello.c"}, {"mszip_lzx_qtm.cab", "mszip.txt"},
                                    {"mszip_lzx_qtm.cab", "lzx.txt"}, {"mszip_lzx_qtm.cab", "qtm.txt"}};
    for (bool fails : {false, true}) {
        for (auto& c : cases) {
            Script s;
            s.skip = {"hello.c", "welcome.c", "mszip.txt", "lzx.txt", "qtm.txt"};
            s.skip.erase(c[1]);
            g_writeShortBy = 1;
            g_writeFails = fails;
            cab::Error why;
            bool ok = Run(g_corpus + c[0], s, &why);
            g_writeShortBy = 0;
            g_writeFails = false;
            CHECK(!ok && why == cab::Error::WriteFailed && s.done.empty() && g_sinks.size() == 1);
        }
    }
}

void CabinetSetsAreNotFollowed() {
    Script s;
    cab::Error why;
    CHECK(!Run(g_corpus + "multi_basic_pt1.cab", s, &why));
    CHECK(why == cab::Error::WrongCabinet);
    CHECK(s.log == Log({"CabinetInfo cabd_multi_basic_pt2.cab", "FileCount 3", "CopyFile test1.txt",
                        "NextCabinet cabd_multi_basic_pt2.cab"}));
    // Ordinary folder indices make libmspack itself run off the split block.
    Script plain;
    CHECK(!Run(Patched("multi_basic_pt1.cab", {{97 + 8, 0}, {97 + 9, 0}}), plain, &why));
    CHECK(why == cab::Error::WrongCabinet && plain.log.back() == "NextCabinet cabd_multi_basic_pt2.cab");
    for (const char* later : {"multi_basic_pt2.cab", "multi_basic_pt5.cab"}) {
        Script cont;
        CHECK(Run(g_corpus + later, cont));
        CHECK(cont.log.size() == 6 && cont.log[2] == "ContinuedFile test1.txt" && cont.done.empty());
    }
    // Entries that start in this cabinet, in a folder that began earlier, cannot be decoded either.
    Script tail;
    CHECK(Run(Patched("multi_basic_pt5.cab", {{131, 0}, {132, 0}, {157, 0}, {158, 0}}), tail));
    CHECK(tail.log.size() == 6 && tail.log[4] == "ContinuedFile test3.txt");
}

void CabinetsWithoutFilesSucceed() {
    // A folder record and data but no files (libmspack's own tests call it
    // bad): nothing to extract, and the data is left unread.
    Script s;
    CHECK(Run(g_corpus + "bad_nofiles.cab", s));
    CHECK(s.log == Log({"CabinetInfo", "FileCount 0", "FileCount 0"}));
}

void HeaderChecks() {
    cab::Reader reader(kHooks);
    auto test = [&](const std::string& path, cab::Error expect) {
        intptr_t h = Open(path.c_str(), cab::kBinary, 0);
        cab::Error why = cab::Error::Aborted;
        CHECK(reader.IsCabinet(h, &why) == (expect == cab::Error::None) && why == expect);
        Close(h);
        Script s;
        CHECK(Run(path, s, &why) == (expect == cab::Error::None) && why == expect);
    };
    test(g_corpus + "normal_2files_1folder.cab", cab::Error::None);
    test(g_corpus + "bad_signature.cab", cab::Error::NotCabinet);
    test(Patched("normal_2files_1folder.cab", {{25, 2}}), cab::Error::UnknownVersion);
    test(Patched("normal_2files_1folder.cab", {{24, 4}}), cab::Error::UnknownVersion);
    test(Patched("normal_2files_1folder.cab", {}, 30), cab::Error::NotCabinet);
    Script s;
    cab::Error why;
    CHECK(!Run(g_scratch + "/absent.cab", s, &why) && why == cab::Error::OpenFailed);
}

void DamagedDataFails() {
    struct Case {
        std::map<size_t, unsigned char> patch;
        size_t truncate;
        cab::Error expect;
    } cases[] = {
        {{{110, 'X'}}, 0, cab::Error::Corrupt},                                        // checksum mismatch
        {{{110, 'X'}, {94, 0}, {95, 0}, {96, 0}, {97, 0}}, 0, cab::Error::None},       // no checksum stored
        {{}, 150, cab::Error::Corrupt},                                                // truncated data
        {{{42, 0x0f}}, 0, cab::Error::BadCompression},                                 // unknown method
        {{{42, 0x03}, {43, 0x16}}, 0, cab::Error::BadCompression},                     // LZX window 2^22
    };
    for (auto& c : cases) {
        Script s;
        cab::Error why;
        Run(Patched("normal_2files_1folder.cab", c.patch, c.truncate), s, &why);
        CHECK(why == c.expect);
        if (c.expect != cab::Error::None) CHECK(s.done.empty() && g_sinks.size() == 1);
    }
}

void AllocationFailuresAreClean() {
    g_allocCalls = 0;
    g_failAllocAt = 0;
    CHECK(cab::Reader::Create(kHooks) == nullptr);
    for (long n = 1;; ++n) {
        Script s;
        cab::Error why;
        g_failAllocAt = n;
        bool ok = Run(g_corpus + "mszip_lzx_qtm.cab", s, &why);
        g_failAllocAt = -1;
        if (ok) break;
        CHECK(why == cab::Error::OutOfMemory);
        if (why != cab::Error::OutOfMemory || n > 1000) break;
    }
}

void WholeCorpusEndsCleanly() {
    DIR* d = opendir(g_corpus.c_str());
    std::vector<std::string> names;
    while (dirent* e = d ? readdir(d) : nullptr) {
        std::string n = e->d_name;
        if (n.size() > 4 && n.substr(n.size() - 4) == ".cab") names.push_back(n);
    }
    if (d) closedir(d);
    CHECK(names.size() > 40);
    for (const std::string& n : names) {
        Script s;
        cab::Error why;
        bool ok = Run(g_corpus + n, s, &why);
        std::printf("    %-45s %s (error %d)\n", n.c_str(), ok ? "ok" : "failed", int(why));
        bool good = n.rfind("normal_", 0) == 0 || n.rfind("reserve_", 0) == 0 || n == "mszip_lzx_qtm.cab" ||
                    n == "bad_nofiles.cab";
        bool bad = !good && (n.rfind("bad_", 0) == 0 || n.rfind("partial_", 0) == 0 || n.rfind("search_", 0) == 0);
        if (good) CHECK(ok);
        if (bad) CHECK(!ok);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR SCRATCH_DIR LZX_WRITER\n", argv[0]);
        return 2;
    }
    g_corpus = std::string(argv[1]) + "/";
    g_scratch = argv[2];
    g_lzxWriter = argv[3];
    setenv("TZ", "UTC", 1);  // gcab stamps local time; the expectations are UTC
    std::signal(SIGALRM, [](int) {
        static const char msg[] = "HANG: reader did not return\n";
        (void)!write(2, msg, sizeof msg - 1);
        _exit(3);
    });
    struct {
        const char* name;
        void (*run)();
    } tests[] = {
        {"stored corpus cabinet extracts in order", StoredCorpusCabinetExtractsInOrder},
        {"MSZIP, LZX and Quantum decode", EveryCompressionDecodes},
        {"gcab stored and MSZIP cabinets round-trip, skips honoured", GcabCabinetsRoundTrip},
        {"LZX cabinets of our writer round-trip: block types, repeated offsets, windows", LzxWriterCabinetsRoundTrip},
        {"attributes pass through unchanged", AttributesPassThroughUnchanged},
        {"handler aborts stop the run", HandlerAbortsStopTheRun},
        {"short writes fail and close the handle once", ShortWritesFailAndCloseOnce},
        {"cabinet sets are not followed", CabinetSetsAreNotFollowed},
        {"cabinets without files succeed", CabinetsWithoutFilesSucceed},
        {"header checks", HeaderChecks},
        {"damaged data fails", DamagedDataFails},
        {"allocation failures are clean", AllocationFailuresAreClean},
        {"whole corpus ends cleanly", WholeCorpusEndsCleanly},
    };
    int passed = 0, failed = 0;
    for (auto& t : tests) {
        std::printf("%s\n", t.name);
        int before = g_checkFailures;
        t.run();
        (g_checkFailures == before ? passed : failed)++;
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
