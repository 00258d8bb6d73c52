// Internal header, not installed: helpers of the cache readers in formats/,
// among them InFile, the one file wrapper of the binary readers.
// Not part of the public interface of formats/ (that is ZNQFormats.h); only
// the .cpp files of formats/ (and the tests) include it.
//
// All cache formats are little-endian and so is every supported host (x86-64,
// arm64), so binary blocks are read straight into the geometry's arrays.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>

#include <Imath/half.h>

#include "errors/ZNQError.h"
#include "formats/ZNQFormats.h"
#include "geometry/ZNQGeometry.h"
#include "geometry/ZNQParallel.h"

#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__)
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the cache readers need a little-endian host");
#endif

namespace znq_reader
{

// Blocks of at least this many bytes are read in parts on the OpenMP
// threads: the copy out of the system's file cache is a good part of a load.
constexpr int64_t kParallelReadBytes = int64_t(4) << 20;
// The value in force: lowered only by the fuzz targets and tests, so that
// small files also take the parallel reads.
inline int64_t g_parallelReadBytes = kParallelReadBytes;

// The parts of a file's block reads: at most kMaxReadParts.
constexpr int32_t kMaxReadParts = 8;

// Where the parts of a file's block reads come from on Windows: a stream of
// their own each on path (the file's), opened at the first read in parts and
// closed with this record. Unused on POSIX systems (positioned reads).
struct PartStreams
{
    const char* path = nullptr;
    FILE* own[kMaxReadParts] = {};
    PartStreams() = default;
    PartStreams(const PartStreams&) = delete;
    PartStreams& operator=(const PartStreams&) = delete;
    ~PartStreams();
};

// fread(buffer, 1, bytes, stream): the same bytes, count and stream position
// afterwards, with a block of parallelBytes or more (0: never) read in parts
// on the OpenMP threads. streams: the stream's file for the parts (null, or
// a part whose stream does not open: that part is read through stream). The
// parts allocate nothing. A part that fails makes the count end there, as a
// short fread would.
size_t ReadBlock(void* buffer, size_t bytes, FILE* stream, PartStreams* streams, int64_t parallelBytes);

// An open file with its size, taken once after opening so that every count
// can be checked against what the rest of the file can hold BEFORE anything
// is allocated: a 100-byte hostile file never makes us allocate gigabytes.
struct InFile
{
    FILE* f = nullptr;
    int64_t size = -1;
    PartStreams parts; // for ReadBlock: the path as opened
    // Where a failure is noted (null: not asked for) and the part of the
    // file being read, named in that note.
    ZNQLoadPlace* place = nullptr;
    const char* section = "header";

    // Notes reason at the current position (first failure only).
    void Note(const char* reason) const
    {
        if (place)
            PlaceAtOffset(place, FileTell(f), section, "%s", reason);
    }
    // Notes a count that cannot be, or cannot fit in the rest of the file.
    void NoteCount(int64_t count) const
    {
        if (!place)
            return;
        if (count < 0)
            PlaceAtOffset(place, FileTell(f), section, "negative count %lld", static_cast<long long>(count));
        else
            PlaceAtOffset(place, FileTell(f), section, "count %lld past the end of the file",
                          static_cast<long long>(count));
    }

    ~InFile() { FileClose(f); }

    // What Open found; the numbers are those callers compared with before
    // the names existed.
    enum OpenResult : int
    {
        kOpened = 0,      // open and measured, at offset 0
        kOpenFailed = 1,  // the file does not open
        kNotSeekable = 2, // the stream cannot seek (a pipe, for instance)
    };

    // Opens with "rb" and measures the file.
    OpenResult Open(const char* filePath)
    {
        f = FileOpen(filePath, "rb");
        if (!f)
            return kOpenFailed;
        parts.path = filePath;
        if (FileSeek(f, 0, SEEK_END) != 0)
            return kNotSeekable;
        size = FileTell(f);
        if (size < 0 || FileSeek(f, 0, SEEK_SET) != 0)
            return kNotSeekable;
        return kOpened;
    }

    // Bytes from the current position to the end; 0 when unknown.
    int64_t Remaining() const
    {
        const int64_t pos = FileTell(f);
        return (pos < 0 || pos > size) ? 0 : size - pos;
    }

    // True when count elements of elemSize bytes can still follow. Negative
    // counts never fit; the product cannot overflow for 32-bit counts and
    // element sizes below 2^31.
    bool Holds(int64_t count, int64_t elemSize) const
    {
        const bool fits = count >= 0 && elemSize >= 0 &&
                          !(count > 0 && elemSize > INT64_MAX / count) && count * elemSize <= Remaining();
        if (!fits)
            NoteCount(count);
        return fits;
    }

    // One bulk read of exactly bytes bytes.
    bool ReadBytes(void* dst, int64_t bytes)
    {
        if (bytes <= 0)
            return true;
        const int64_t at = place ? FileTell(f) : -1;
        const bool ok = ReadBlock(dst, static_cast<size_t>(bytes), f, &parts, g_parallelReadBytes) ==
                        static_cast<size_t>(bytes);
        if (!ok && place)
            PlaceAtOffset(place, at, section, "%lld bytes expected, %lld left", static_cast<long long>(bytes),
                          static_cast<long long>(size > at ? size - at : 0));
        return ok;
    }

    // After a failure rc: notes a generic reason at the current position
    // when no reader step noted one.
    void NoteFailure(int32_t rc) const
    {
        if (!rc || !place || place->Known())
            return;
        Note(rc == ZNQ_ERR_UNKNOWN_FORMAT                            ? "unexpected data"
             : (rc == ZNQ_ERR_LOAD_MEMORY || rc == ZNQ_ERR_MEMORY) ? "memory refused"
                                                                   : "read failed");
    }

    bool ReadI32(int32_t& v) { return ReadBytes(&v, 4); }
    bool ReadU32(uint32_t& v) { return ReadBytes(&v, 4); }

    // Forward skip that also fails when the skipped bytes are not in the file
    // (a plain seek past the end succeeds on most systems).
    bool Skip(int64_t bytes)
    {
        if (bytes < 0 || bytes > Remaining())
        {
            if (place)
                PlaceAtOffset(place, FileTell(f), section, "%lld bytes to skip, %lld left",
                              static_cast<long long>(bytes), static_cast<long long>(Remaining()));
            return false;
        }
        return bytes == 0 || FileSeek(f, bytes, SEEK_CUR) == 0;
    }
};

// Widens count 16-bit values stored at the byte offset 2*count of a buffer of
// count 32-bit slots into those slots, in place. Slot i (bytes 4i..4i+3)
// overwrites only the sources of elements 2i-count and 2i-count+1, so it may
// be written once those are converted: front to back on one thread. On
// several threads in phases: [a, b) with b = (a + count) / 2 overwrites only
// sources below a (done in earlier phases) and reads none that the phase
// writes, so each phase runs in parallel ranges; the phases halve what is
// left and the short tail runs serially. Every element converts alone, so
// the result is the same for every thread count.
// Convert(uint16_t) -> Out gives the element, Out is 4 bytes.
template <typename Out, typename Convert>
inline void WidenInPlace(void* buffer, int64_t count, Convert convert)
{
    static_assert(sizeof(Out) == 4, "widening writes 4-byte slots");
    unsigned char* bytes = static_cast<unsigned char*>(buffer);
    const unsigned char* src = bytes + 2 * count;
    auto widen = [&](int64_t first, int64_t end) {
        for (int64_t i = first; i < end; ++i)
        {
            uint16_t v;
            std::memcpy(&v, src + 2 * i, 2);
            const Out out = convert(v);
            std::memcpy(bytes + 4 * i, &out, 4);
        }
    };
    int64_t a = 0;
    while (znqpar::RangesFor(count - a) > 1)
    {
        const int64_t b = (a + count) / 2;
        znqpar::ForEachRange(b - a, [&](int64_t lo, int64_t hi) { widen(a + lo, a + hi); });
        a = b;
    }
    widen(a, count);
}

inline float HalfBitsToFloat(uint16_t bits)
{
    half h;
    h.setBits(bits);
    return static_cast<float>(h); // Imath's table lookup
}

// Reads count half floats from the file into dst (room for count floats) and
// converts them in place. False on a short read.
inline bool ReadHalfsAsFloats(InFile& in, float* dst, int64_t count)
{
    if (!in.ReadBytes(reinterpret_cast<unsigned char*>(dst) + 2 * count, 2 * count))
        return false;
    // A lambda, not the function's address: the conversion is inlined into
    // the loop instead of called through a pointer per element.
    WidenInPlace<float>(dst, count, [](uint16_t bits) { return HalfBitsToFloat(bits); });
    return true;
}

// Per-vertex values to nodes: node k receives the value of the vertex its
// index names. An index outside [0, numVert) reads nothing and gives a zero
// value; the clean-up removes its polygon afterwards.
template <typename T>
inline void GatherToNodes(const T* perVert, int32_t numVert, const int32_t* vind, int64_t numNodes,
                          T* out)
{
    const uint32_t n = static_cast<uint32_t>(numVert < 0 ? 0 : numVert);
    znqpar::ForEachRange(numNodes, [&](int64_t first, int64_t end) {
        for (int64_t k = first; k < end; ++k)
        {
            const uint32_t v = static_cast<uint32_t>(vind[k]);
            if (v < n)
                out[k] = perVert[v];
            else
                std::memset(&out[k], 0, sizeof(T));
        }
    });
}

// The same gather from comps half floats per vertex, converting on the way.
inline void GatherHalfsToNodes(const uint16_t* perVert, int comps, int32_t numVert,
                               const int32_t* vind, int64_t numNodes, float* out)
{
    const uint32_t n = static_cast<uint32_t>(numVert < 0 ? 0 : numVert);
    znqpar::ForEachRange(numNodes, [&](int64_t first, int64_t end) {
        for (int64_t k = first; k < end; ++k)
        {
            const uint32_t v = static_cast<uint32_t>(vind[k]);
            float* o = out + k * comps;
            if (v < n)
            {
                const uint16_t* s = perVert + static_cast<int64_t>(v) * comps;
                for (int c = 0; c < comps; ++c)
                    o[c] = HalfBitsToFloat(s[c]);
            }
            else
            {
                for (int c = 0; c < comps; ++c)
                    o[c] = 0.0f;
            }
        }
    });
}

// The frame of the .znq, .drs2 and .bin readers: empties the geometry and the
// place, opens path ("rb") and measures it, runs read(in) with the file open
// (in.place set), closes the file, then runs the clean-up. A file that does
// not open gives 126, one that cannot seek notSeekable. On any failure the
// geometry is left empty; on success the place is empty.
template <typename Read>
inline int32_t ReadWithCleanUp(ZNQGeometry& geometry, const char* path, ZNQLoadPlace* place,
                               int32_t notSeekable, Read&& read)
{
    geometry.Clear();
    PlaceReset(place);
    int32_t rc;
    {
        InFile in;
        const InFile::OpenResult opened = in.Open(path);
        if (opened == InFile::kOpenFailed)
            return ZNQ_ERR_LOAD_OPEN;
        if (opened == InFile::kNotSeekable)
            rc = notSeekable;
        else
        {
            in.place = place;
            rc = read(in);
        }
    } // closes the file
    return FinishRead(geometry, rc, place);
}

// Writes a zero into every 4096-byte page of a fresh block, in fixed ranges
// on all threads: the system maps (and clears) a new block's pages at their
// first touch, which would otherwise all happen on the thread that fills it.
inline void TouchPages(void* block, int64_t bytes)
{
    char* p = static_cast<char*>(block);
    znqpar::ForEachRange(bytes, [p](int64_t first, int64_t end) {
        for (int64_t at = (first + 4095) / 4096 * 4096; at < end; at += 4096)
            p[at] = 0;
    });
}

// Nominal size of the chunks the ascii .drs2 reader cuts its text into when
// it parses on several threads (each cut moves on to the next line break).
// Texts shorter than two chunks are read by the one-thread reader. Tests
// and the fuzz targets lower it to put cuts in awkward places.
inline int64_t g_drs2ChunkBytes = int64_t(256) * 1024;

} // namespace znq_reader
