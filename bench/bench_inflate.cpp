// Inflate benchmark: our decoder against zlib and libdeflate on one raw DEFLATE
// stream (zlib, level 6) of the whole corpus, concatenated in list order.
//
// Each decoder does the complete job of extracting one entry: it reads the
// compressed stream from a file, decodes it, computes the CRC-32 of the output
// and writes the output to a new file, which it closes. Ours is the product's
// InflateEntry, driven as the extraction pass drives it (archiveHandle,
// outputHandle, localHeader, remainingCompressed and entryCrc over the
// stand-in's files). zlib: inflate() into a 32 KB buffer, crc32() and write()
// per buffer, input read in 32 KB pieces: the same chunks and system calls as
// ours. libdeflate: the whole stream read at
// once, libdeflate_deflate_decompress into a buffer allocated before the
// timing, libdeflate_crc32, one write(). The output file is removed before each
// timed run. The decoders take turns; the best of the rounds counts.
//
// usage: bench_inflate LIST WORKDIR OUTDIR ROUNDS [ours|zlib|libdeflate]
//   LIST     the corpus files, one path a line
//   WORKDIR  where the compressed stream goes
//   OUTDIR   where the outputs go
//   a name   only that decoder, ROUNDS times, reusing WORKDIR/corpus.deflate
//            when it exists (for profiling: callgrind, perf)
#include <fcntl.h>
#include <libdeflate.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "platform/posix/standin.h"
#include "support/inflate_run.h"
#include "support/testutil.h"

namespace {

// Wall time; with BENCH_CLOCK=cpu in the environment the thread's CPU time
// (user and system), which other load on the machine disturbs less (for A/B
// comparisons while tuning).
double Now() {
    static const bool cpu = getenv("BENCH_CLOCK") && std::string(getenv("BENCH_CLOCK")) == "cpu";
    if (cpu) {
        timespec t;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
    }
    return bench::WallTime();
}

using bench::Fail;

struct Result {
    uint32_t crc = 0;
    bool ok = false;
};

// ---- ours ----------------------------------------------------------------------------

Result Ours(const std::string &streamPath, long streamSize, const std::string &outPath,
            uint32_t expectedCrc) {
    standin::Reset();
    testutil::EntrySetup entry;
    entry.archivePath = streamPath;
    entry.outputPath = outPath;
    entry.compressedSize = (LONG)streamSize;
    entry.crc = expectedCrc;
    testutil::EntryEnd end = testutil::RunEntry(entry);
    if (!end.opened) Fail("stand-in CreateFileA");
    Result r;
    r.crc = end.entryCrc ^ 0xFFFFFFFFu;
    r.ok = r.crc == expectedCrc;
    return r;
}

// ---- zlib ----------------------------------------------------------------------------

Result Zlib(const std::string &streamPath, const std::string &outPath) {
    static std::vector<unsigned char> in(32768), out(32768);
    Result r;
    int fin = open(streamPath.c_str(), O_RDONLY);
    int fout = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fin < 0 || fout < 0) Fail("open");
    z_stream z{};
    inflateInit2(&z, -15);
    uLong crc = crc32(0, nullptr, 0);
    int rc = Z_OK;
    while (rc == Z_OK) {
        if (z.avail_in == 0) {
            ssize_t n = read(fin, in.data(), in.size());
            if (n <= 0) break;
            z.next_in = in.data();
            z.avail_in = (uInt)n;
        }
        z.next_out = out.data();
        z.avail_out = (uInt)out.size();
        rc = inflate(&z, Z_NO_FLUSH);
        size_t produced = out.size() - z.avail_out;
        crc = crc32(crc, out.data(), (uInt)produced);
        if (write(fout, out.data(), produced) != (ssize_t)produced) Fail("write");
    }
    inflateEnd(&z);
    close(fin);
    close(fout);
    r.crc = (uint32_t)crc;
    r.ok = rc == Z_STREAM_END;
    return r;
}

// ---- libdeflate ------------------------------------------------------------------------

Result Libdeflate(const std::string &streamPath, long streamSize, const std::string &outPath,
                  libdeflate_decompressor *d, std::vector<unsigned char> &in,
                  std::vector<unsigned char> &out) {
    Result r;
    int fin = open(streamPath.c_str(), O_RDONLY);
    int fout = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fin < 0 || fout < 0) Fail("open");
    if (read(fin, in.data(), (size_t)streamSize) != streamSize) Fail("read");
    size_t produced = 0;
    libdeflate_result rc =
        libdeflate_deflate_decompress(d, in.data(), (size_t)streamSize, out.data(), out.size(), &produced);
    r.crc = libdeflate_crc32(0, out.data(), produced);
    if (write(fout, out.data(), produced) != (ssize_t)produced) Fail("write");
    close(fin);
    close(fout);
    r.ok = rc == LIBDEFLATE_SUCCESS;
    return r;
}

}  // namespace

int main(int argc, char **argv) {
    bench::Start("bench_inflate", argc, 4, "LIST WORKDIR OUTDIR ROUNDS [ours|zlib|libdeflate]");
    std::string work = argv[2], outDir = argv[3];
    int rounds = std::atoi(argv[4]);
    const char *names[3] = {"ours", "zlib", "libdeflate"};
    int only = -1;
    for (int i = 0; argc > 5 && i < 3; i++)
        if (std::string(argv[5]) == names[i]) only = i;
    if (argc > 5 && only < 0) Fail(std::string("no decoder ") + argv[5]);
    if (rounds < 1) rounds = 1;

    std::string data;
    long files = 0;
    {
        std::ifstream list(argv[1]);
        std::string path;
        while (std::getline(list, path)) {
            if (path.empty()) continue;
            data += testutil::ReadHostFile(path);
            files++;
        }
    }
    if (data.empty()) Fail("empty corpus");
    const uint32_t crc = testutil::Crc32(data);
    const std::string streamPath = work + "/corpus.deflate";
    std::string stream = only >= 0 ? testutil::ReadHostFile(streamPath) : "";
    if (stream.empty()) {
        stream = testutil::RawDeflate(data, 6);
        if (stream.empty() || !testutil::WriteHostFile(streamPath, stream)) Fail("deflate");
    }
    const long streamSize = (long)stream.size();
    std::printf("inflate corpus: %ld files concatenated, %zu bytes; zlib raw deflate level 6, one "
                "stream of %ld bytes (%.1f%%)\n",
                files, data.size(), streamSize, 100.0 * (double)streamSize / (double)data.size());

    testutil::InitCrcTable();
    libdeflate_decompressor *dec = libdeflate_alloc_decompressor();
    std::vector<unsigned char> ldIn((size_t)streamSize), ldOut(data.size());

    const std::string outOurs = outDir + "/out-ours", outZlib = outDir + "/out-zlib",
                      outLd = outDir + "/out-libdeflate";
    double best[3] = {1e30, 1e30, 1e30};
    for (int round = 0; round < rounds; round++) {
        for (int which = 0; which < 3; which++) {
            if (only >= 0 && which != only) continue;
            const std::string &out = which == 0 ? outOurs : which == 1 ? outZlib : outLd;
            unlink(out.c_str());
            double t0 = Now();
            Result r = which == 0   ? Ours(streamPath, streamSize, out, crc)
                       : which == 1 ? Zlib(streamPath, out)
                                    : Libdeflate(streamPath, streamSize, out, dec, ldIn, ldOut);
            double t = Now() - t0;
            if (!r.ok || r.crc != crc) Fail("decoder " + std::to_string(which) + " failed");
            if (round == 0 && testutil::ReadHostFile(out) != data) Fail("decoder " + std::to_string(which) + ": output differs");
            if (t < best[which]) best[which] = t;
        }
    }
    libdeflate_free_decompressor(dec);
    for (const std::string &out : {outOurs, outZlib, outLd}) unlink(out.c_str());

    double mbs[3];
    for (int i = 0; i < 3; i++) {
        if (only >= 0 && i != only) continue;
        mbs[i] = (double)data.size() / 1e6 / best[i];
        std::printf("inflate %-10s %8.2f ms  %7.1f MB/s  (best of %d)\n", names[i], best[i] * 1e3,
                    mbs[i], rounds);
    }
    if (only < 0) {
        std::printf("inflate ours/zlib %.2f\n", mbs[0] / mbs[1]);
        std::printf("inflate ours/libdeflate %.2f\n", mbs[0] / mbs[2]);
    }
    return 0;
}
