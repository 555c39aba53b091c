// Benchmarks of the package reader against the command-line tools that do the
// same work: opening and verifying a package with the largest checked part
// the installer accepts (against md5sum), extracting every entry of a package
// into memory (against bzip2 -dc of the same streams), and the sizes of the
// program image and the installer. Prints Markdown tables.
//
//   ty_bench_package --work DIR --stub STUB.exe --installer INSTALLER.exe
//                    --payload PAYLOAD.exe [--runs N]
//
// Times are medians of N runs (default 51) after one untimed run, wall clock,
// with every file already in the page cache; the measurements compared with
// each other take turns within each run.
#include <bzlib.h>
#include <fcntl.h>
#include <io.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "ty_md5.h"
#include "ty_package.h"
#include "ty_package_format.h"
#include "ty_package_writer.h"
#include "ty_setup_state.h"
#include "ty_standin.h"

extern char **environ;

namespace {

int runs = 51;

[[noreturn]] void die(const std::string &message) {
    fprintf(stderr, "ty_bench_package: %s\n", message.c_str());
    exit(1);
}

double nowMs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Median wall times of the bodies over the configured runs, after one
// warm-up run each. The bodies take turns within every run, so that a change
// in the machine's load during the benchmark falls on all of them alike.
std::vector<double> medianMs(const std::vector<std::function<void()>> &bodies) {
    std::vector<std::vector<double>> times(bodies.size());
    for (const std::function<void()> &body : bodies) body();
    for (int run = 0; run < runs; run++) {
        for (size_t i = 0; i < bodies.size(); i++) {
            double start = nowMs();
            bodies[i]();
            times[i].push_back(nowMs() - start);
        }
    }
    std::vector<double> medians;
    for (std::vector<double> &series : times) {
        std::sort(series.begin(), series.end());
        medians.push_back(series[series.size() / 2]);
    }
    return medians;
}

Bytes readFile(const std::string &path) {
    FILE *file = fopen(path.c_str(), "rb");
    if (file == NULL) die("cannot read " + path);
    Bytes bytes;
    unsigned char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    fclose(file);
    return bytes;
}

void writeFile(const std::string &path, const unsigned char *data, size_t size) {
    FILE *file = fopen(path.c_str(), "wb");
    if (file == NULL || fwrite(data, 1, size, file) != size || fclose(file) != 0)
        die("cannot write " + path);
}

long fileSize(const std::string &path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) die("cannot find " + path);
    return (long)st.st_size;
}

// Runs a program to its end with its output thrown away; the end of the
// benchmark if it fails.
void runProgram(const std::vector<std::string> &arguments) {
    std::vector<char *> argv;
    for (const std::string &argument : arguments) argv.push_back((char *)argument.c_str());
    argv.push_back(NULL);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], &actions, NULL, argv.data(), environ) != 0)
        die("cannot start " + arguments[0]);
    posix_spawn_file_actions_destroy(&actions);
    int status;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        die(arguments[0] + " " + arguments.back() + " failed");
}

std::string hex(const unsigned char *bytes, size_t size) {
    std::string text;
    char digits[3];
    for (size_t i = 0; i < size; i++) {
        snprintf(digits, sizeof digits, "%02x", bytes[i]);
        text += digits;
    }
    return text;
}

// Opens path with the product's reader into package, as the setup state's
// package; the end of the benchmark if the reader refuses it.
void openOrDie(Package *package, const std::string &path) {
    standinReset();
    setupState.package = package;
    ProductRun run = runProduct([&] { openPackage(package, path.c_str()); });
    if (run.exited || !standinMessageBoxes().empty()) {
        std::string text = standinMessageBoxes().empty() ? "" : standinMessageBoxes()[0].text;
        die("the reader refused " + path + ":" + text);
    }
}

std::string withCommas(long value) {
    std::string digits = std::to_string(value);
    for (int i = (int)digits.size() - 3; i > 0; i -= 3) digits.insert((size_t)i, ",");
    return digits;
}

// A package behind stub whose checked part is exactly the installer's limit:
// the product's 25 entries at name width 46, stored, of random bytes.
Bytes largestPackage(const Bytes &stub) {
    const uint32_t entries = TY_PACKAGE_ENTRY_COUNT;
    const uint32_t header = TY_HEADER_FIXED_SIZE + entries * (TY_DEFAULT_NAME_WIDTH + TY_RECORD_EXTRA_SIZE);
    const uint32_t data = TY_MAX_CHECKED_SIZE - header - 4;  // 4: the packageStart field
    uint64_t state = 0x9E3779B97F4A7C15ull;
    std::vector<WriterRecord> records;
    for (uint32_t i = 0; i < entries; i++) {
        uint32_t size = data / entries + (i == entries - 1 ? data % entries : 0);
        Bytes content(size);
        for (uint32_t j = 0; j < size; j++) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            content[j] = (unsigned char)(state >> 24);
        }
        records.push_back(makeStoredRecord("entry" + std::to_string(i) + ".bin", content));
    }
    return writePackage(stub, TY_DEFAULT_NAME_WIDTH, records);
}

void benchOpen(const std::string &work, const Bytes &stub) {
    Bytes image = largestPackage(stub);
    uint32_t packageStart = readLe32(image.data() + image.size() - TY_TRAILER_SIZE);
    size_t checkedSize = image.size() - TY_DIGEST_SIZE - packageStart;
    if (checkedSize != TY_MAX_CHECKED_SIZE) die("the large package's checked part is not 4,000,000 bytes");
    std::string imagePath = work + "/checked-4000000.exe";
    std::string checkedPath = work + "/checked-4000000.part";
    std::string emptyPath = work + "/empty";
    writeFile(imagePath, image.data(), image.size());
    writeFile(checkedPath, image.data() + packageStart, checkedSize);
    writeFile(emptyPath, NULL, 0);

    // md5sum must digest exactly the bytes the reader checks.
    std::string command = "md5sum '" + checkedPath + "'";
    FILE *pipe = popen(command.c_str(), "r");
    char line[256] = "";
    if (pipe == NULL || fgets(line, sizeof line, pipe) == NULL) die("cannot run md5sum");
    pclose(pipe);
    std::string stored = hex(image.data() + image.size() - TY_DIGEST_SIZE, TY_DIGEST_SIZE);
    if (stored != std::string(line, 32)) die("md5sum disagrees with the control check");

    Package package;
    unsigned char digest[TY_DIGEST_SIZE];
    const unsigned char *checked = image.data() + packageStart;
    std::vector<double> t = medianMs({
        [&] {
            openOrDie(&package, imagePath);
            closePackage(&package);
        },
        // What openPackage does before the digest, as it does it.
        [&] {
            int descriptor = _open(imagePath.c_str(), _O_RDONLY | _O_BINARY);
            unsigned char *buffer = (unsigned char *)malloc(checkedSize);
            _lseek(descriptor, (long)packageStart, SEEK_SET);
            if (buffer == NULL || _read(descriptor, buffer, (unsigned int)checkedSize) != (int)checkedSize)
                die("short read of the checked part");
            free(buffer);
            _close(descriptor);
        },
        [&] { md5Digest(checked, checkedSize, digest); },
        [&] { runProgram({"md5sum", checkedPath}); },
        [&] { runProgram({"md5sum", emptyPath}); },
    });
    double open = t[0], readOnly = t[1], md5Only = t[2], md5sum = t[3], md5sumEmpty = t[4];

    printf("### Opening and verifying a package with a checked part of %s bytes\n\n",
           withCommas((long)checkedSize).c_str());
    printf("Package start %s, 25 stored entries of random bytes, name width 46; "
           "median of %d runs.\n\n", withCommas(packageStart).c_str(), runs);
    printf("| Measurement | Median (ms) | What it includes |\n|---|---:|---|\n");
    printf("| `openPackage` + `closePackage`, in process | %.3f | open, seek to the trailer, two reads, "
           "one read of the checked part, MD5, the header and 25 records field by field, close |\n", open);
    printf("| read of the checked part alone, in process | %.3f | open, allocation, seek, one read of 4,000,000 bytes, release, close |\n",
           readOnly);
    printf("| product's MD5 alone, in process | %.3f | `md5Digest` over 4,000,000 bytes in memory |\n", md5Only);
    printf("| `md5sum` of the checked bytes | %.3f | process start, reading the 4,000,000-byte file, MD5, output |\n",
           md5sum);
    printf("| `md5sum` of an empty file | %.3f | process start and end alone |\n", md5sumEmpty);
    printf("\nRatio `openPackage` / `md5sum`: **%.2f** (aim: at most 1.2). "
           "Ratio MD5 alone / (`md5sum` - empty `md5sum`): %.2f.\n\n",
           open / md5sum, md5Only / (md5sum - md5sumEmpty));
}

struct ExtractFigures {
    std::string label;
    uint32_t entries;
    uint32_t compressedEntries;
    uint64_t bytesIn;
    uint64_t bytesOut;
    double extractAll;
    double bz2Only;
    double bzip2Tool;
    double bzip2Start;
};

ExtractFigures benchExtract(const std::string &work, const std::string &label,
                            const std::string &path) {
    Package package;
    openOrDie(&package, path);
    ExtractFigures figures = {label, package.fileCount, 0, 0, 0, 0, 0, 0, 0};

    // The streams as stored, for libbzip2 alone and for bzip2 -dc.
    std::vector<Bytes> streams;
    std::vector<std::string> streamPaths;
    std::vector<Bytes> outputs;
    Bytes image = readFile(path);
    for (uint32_t i = 0; i < package.fileCount; i++) {
        const PackageEntry *entry = package.entries[i];
        figures.bytesOut += entry->uncompressedSize;
        if (entry->flags != TY_FLAG_BZIP2) continue;
        if ((uint64_t)entry->dataOffset + entry->compressedSize > image.size())
            die(label + ": entry data past the end of the file");
        const unsigned char *stream = image.data() + entry->dataOffset;
        streams.emplace_back(stream, stream + entry->compressedSize);
        outputs.emplace_back(entry->uncompressedSize);
        std::string streamPath = work + "/" + label + "-" + std::to_string(i) + ".bz2";
        writeFile(streamPath, stream, entry->compressedSize);
        streamPaths.push_back(streamPath);
        figures.bytesIn += entry->compressedSize;
    }
    figures.compressedEntries = (uint32_t)streams.size();

    // bzip2 -dc of an empty stream, as many times: the share of process
    // starts in bzip2's figure.
    char nothing = 0;
    char empty[64];
    unsigned int emptySize = sizeof empty;
    if (BZ2_bzBuffToBuffCompress(empty, &emptySize, &nothing, 0, 9, 0, 0) != BZ_OK)
        die("libbzip2 cannot make an empty stream");
    std::string emptyPath = work + "/empty.bz2";
    writeFile(emptyPath, (const unsigned char *)empty, emptySize);

    std::vector<double> t = medianMs({
        [&] {
            ProductRun run = runProduct([&] {
                for (uint32_t i = 0; i < package.fileCount; i++) {
                    unsigned char *buffer = (unsigned char *)malloc(entryUncompressedSize(i));
                    extractEntry(i, buffer);
                    free(buffer);
                }
            });
            if (run.exited) die(label + ": extraction failed: " + standinMessageBoxes()[0].text);
        },
        [&] {
            for (size_t i = 0; i < streams.size(); i++) {
                unsigned int length = (unsigned int)outputs[i].size();
                if (BZ2_bzBuffToBuffDecompress((char *)outputs[i].data(), &length,
                                               (char *)streams[i].data(),
                                               (unsigned int)streams[i].size(), 0, 0) != BZ_OK)
                    die(label + ": libbzip2 refused a stream");
            }
        },
        [&] {
            for (const std::string &streamPath : streamPaths) runProgram({"bzip2", "-dc", streamPath});
        },
        [&] {
            for (size_t i = 0; i < streamPaths.size(); i++) runProgram({"bzip2", "-dc", emptyPath});
        },
    });
    figures.extractAll = t[0];
    figures.bz2Only = t[1];
    figures.bzip2Tool = t[2];
    figures.bzip2Start = t[3];

    closePackage(&package);
    return figures;
}

void printExtract(const std::vector<ExtractFigures> &all) {
    printf("### Extracting every entry into memory\n\nMedian of %d runs; each figure is the sum "
           "over the package's bzip2 entries.\n\n", runs);
    printf("| Package | Entries (bzip2) | Stored bytes | Content bytes | every `extractEntry` (ms) "
           "| libbzip2 alone (ms) | `bzip2 -dc` each stream (ms) | `bzip2 -dc` of an empty stream, as often (ms) |\n");
    printf("|---|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const ExtractFigures &f : all) {
        printf("| %s | %u (%u) | %s | %s | %.3f | %.3f | %.3f | %.3f |\n", f.label.c_str(), f.entries,
               f.compressedEntries, withCommas((long)f.bytesIn).c_str(),
               withCommas((long)f.bytesOut).c_str(), f.extractAll, f.bz2Only, f.bzip2Tool, f.bzip2Start);
    }
    printf("\n| Package | `extractEntry` / `bzip2 -dc` | `extractEntry` / (`bzip2 -dc` - process starts) "
           "| `extractEntry` / libbzip2 alone |\n|---|---:|---:|---:|\n");
    for (const ExtractFigures &f : all) {
        printf("| %s | %.2f | %.2f | %.2f |\n", f.label.c_str(), f.extractAll / f.bzip2Tool,
               f.extractAll / (f.bzip2Tool - f.bzip2Start), f.extractAll / f.bz2Only);
    }
    printf("\n`extractEntry` includes, per entry, the seek, one read of the stream, the allocation "
           "of both buffers and the decompression; libbzip2 alone is `BZ2_bzBuffToBuffDecompress` "
           "from memory to memory; `bzip2 -dc` includes a process start per stream, reading the "
           "stream file and writing the content to /dev/null. Aim: parity.\n\n");
}

void printSizes(const std::string &stubPath, const std::string &installerPath) {
    long stub = fileSize(stubPath);
    long installer = fileSize(installerPath);
    printf("### Sizes\n\n| File | Bytes | KiB |\n|---|---:|---:|\n");
    printf("| `TYInstallerStub.exe` (program image with its resources) | %s | %.1f |\n",
           withCommas(stub).c_str(), stub / 1024.0);
    printf("| `TYInstaller.exe` (with the sample package) | %s | %.1f |\n",
           withCommas(installer).c_str(), installer / 1024.0);
    printf("\nThe stub is %s 64 KiB (65,536 bytes).\n\n", stub < 65536 ? "below" : "NOT below");
}

}  // namespace

int main(int argc, char **argv) {
    std::string work, stubPath, installerPath, payloadPath;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--work") work = argv[i + 1];
        else if (option == "--stub") stubPath = argv[i + 1];
        else if (option == "--installer") installerPath = argv[i + 1];
        else if (option == "--payload") payloadPath = argv[i + 1];
        else if (option == "--runs") runs = atoi(argv[i + 1]);
        else die("unknown option " + option);
    }
    if (work.empty() || stubPath.empty() || installerPath.empty() || payloadPath.empty() || runs < 1) {
        fprintf(stderr, "usage: ty_bench_package --work DIR --stub STUB.exe --installer INSTALLER.exe "
                        "--payload PAYLOAD.exe [--runs N]\n");
        return 2;
    }

    benchOpen(work, readFile(stubPath));
    std::vector<ExtractFigures> extract;
    extract.push_back(benchExtract(work, "sample", installerPath));
    extract.push_back(benchExtract(work, "payload", payloadPath));
    printExtract(extract);
    printSizes(stubPath, installerPath);
    return 0;
}
