// typack: the release engineer's package tool. Builds the installer by
// appending the product's files to the program image as a package, and lists,
// verifies and extracts the package of a finished installer.
//
// Exit codes: 0 done, 1 refused or failed (one line on stderr says why),
// 2 a call that does not match the usage.
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ty_bitmap_format.h"
#include "ty_package_format.h"
#include "ty_package_inspect.h"
#include "ty_package_writer.h"

static const char usageText[] =
    "usage:\n"
    "  typack build --stub STUB.exe --output OUT.exe [--name-width N] WELCOME.bmp FILE1 ... FILE24\n"
    "      Appends a package to the program image STUB.exe and writes OUT.exe:\n"
    "      entry 0 is the welcome picture, entries 1 to 24 are the files in the\n"
    "      order given, named by their base names. Name width 46 by default.\n"
    "  typack list INSTALLER.exe\n"
    "      Shows the package's entry table and whether its control check holds.\n"
    "  typack verify INSTALLER.exe\n"
    "      Checks the control check and that every entry extracts to exactly its size.\n"
    "  typack extract INSTALLER.exe --output DIR [--entry N]\n"
    "      Writes all entries, or entry N, into DIR under their names.\n"
    "  typack --help\n"
    "      Shows this text.\n";

static int fail(const std::string &message) {
    fprintf(stderr, "typack: %s\n", message.c_str());
    return 1;
}

static int badCall(const std::string &message) {
    fprintf(stderr, "typack: %s\n%s", message.c_str(), usageText);
    return 2;
}

struct Option {
    const char *name;
    const char *value;          // NULL until given
};

// Options and their values may stand anywhere among the other arguments;
// "--" makes everything after it an ordinary argument.
static bool parseArguments(int argc, char **argv, int first, Option *options, int optionCount,
                           std::vector<std::string> *arguments, std::string *error) {
    bool optionsEnded = false;
    for (int i = first; i < argc; i++) {
        const char *arg = argv[i];
        if (optionsEnded || arg[0] != '-' || arg[1] == 0) {
            arguments->push_back(arg);
            continue;
        }
        if (strcmp(arg, "--") == 0) {
            optionsEnded = true;
            continue;
        }
        Option *option = NULL;
        for (int k = 0; k < optionCount; k++)
            if (strcmp(arg, options[k].name) == 0) option = &options[k];
        if (option == NULL) {
            *error = std::string("unknown option ") + arg;
            return false;
        }
        if (option->value != NULL) {
            *error = std::string(arg) + " given twice";
            return false;
        }
        if (i + 1 >= argc) {
            *error = std::string(arg) + " needs a value";
            return false;
        }
        option->value = argv[++i];
    }
    return true;
}

// Decimal digits only; values too large for 32 bits come back as UINT64_MAX so
// that the caller's range check refuses them.
static bool parseNumber(const char *text, uint64_t *value) {
    if (*text == 0) return false;
    uint64_t result = 0;
    for (const char *p = text; *p; p++) {
        if (*p < '0' || *p > '9') return false;
        result = result > UINT32_MAX ? result : result * 10 + (uint64_t)(*p - '0');
    }
    *value = result > UINT32_MAX ? UINT64_MAX : result;
    return true;
}

static bool readFile(const std::string &path, Bytes *content, std::string *error) {
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        *error = "cannot read " + quoteName(path) + ": " + strerror(errno);
        return false;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *error = "cannot read " + quoteName(path) + ": not a regular file";
        close(fd);
        return false;
    }
    // Every size in a package is 32 bits wide.
    if ((uint64_t)info.st_size > UINT32_MAX) {
        *error = quoteName(path) + " is " + number((uint64_t)info.st_size) +
                 " bytes, more than the " + number(UINT32_MAX) + " a package can describe";
        close(fd);
        return false;
    }
    content->resize((size_t)info.st_size);
    size_t done = 0;
    while (done < content->size()) {
        ssize_t got = read(fd, content->data() + done, content->size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            *error = "cannot read " + quoteName(path) + ": " +
                     (got < 0 ? strerror(errno) : "it became shorter while being read");
            close(fd);
            return false;
        }
        done += (size_t)got;
    }
    close(fd);
    return true;
}

// Writes beside the target and renames, so that a failure leaves neither a
// partial file nor a damaged earlier one.
static bool writeFileWhole(const std::string &path, const Bytes &content, std::string *error) {
    std::string temporary = path + ".XXXXXX";
    int fd = mkstemp(&temporary[0]);
    if (fd < 0) {
        *error = "cannot write " + quoteName(path) + ": " + strerror(errno);
        return false;
    }
    mode_t mask = umask(0);
    umask(mask);
    bool good = fchmod(fd, 0666 & ~mask) == 0;
    size_t done = 0;
    while (good && done < content.size()) {
        ssize_t put = write(fd, content.data() + done, content.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) good = false;
        else done += (size_t)put;
    }
    if (close(fd) != 0) good = false;
    if (good && rename(temporary.c_str(), path.c_str()) != 0) good = false;
    if (!good) {
        *error = "cannot write " + quoteName(path) + ": " + strerror(errno);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

// The installer's own check of its welcome picture, so that no installer
// passes here whose picture the installer then refuses to draw.
static bool checkBitmap(const Bytes &content, std::string *why) {
    const char *fault = bitmapFault(content.data(), (uint32_t)content.size());
    if (fault != NULL) *why = fault;
    return fault == NULL;
}

static bool sameNameOnWindows(const std::string &a, const std::string &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++) {
        unsigned char x = (unsigned char)a[i], y = (unsigned char)b[i];
        if (x >= 'a' && x <= 'z') x = (unsigned char)(x - 32);
        if (y >= 'a' && y <= 'z') y = (unsigned char)(y - 32);
        if (x != y) return false;
    }
    return true;
}

static std::string baseName(const std::string &path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

static int build(int argc, char **argv) {
    Option options[] = {{"--stub", NULL}, {"--output", NULL}, {"--name-width", NULL}};
    std::vector<std::string> files;
    std::string error;
    if (!parseArguments(argc, argv, 2, options, 3, &files, &error)) return badCall(error);
    if (options[0].value == NULL) return badCall("build needs --stub");
    if (options[1].value == NULL) return badCall("build needs --output");
    uint64_t nameWidth = TY_DEFAULT_NAME_WIDTH;
    if (options[2].value != NULL && !parseNumber(options[2].value, &nameWidth))
        return badCall(std::string("--name-width needs a number, not ") + quoteName(options[2].value));
    std::string output = options[1].value;

    if (files.size() != TY_PACKAGE_ENTRY_COUNT)
        return fail(number(files.size()) + " files given; a package holds " +
                    number(TY_PACKAGE_ENTRY_COUNT) + " (the welcome picture and " +
                    number(TY_PACKAGE_ENTRY_COUNT - 1) + " files)");
    if (nameWidth == 0 || nameWidth >= TY_NAME_BUFFER_SIZE)
        return fail("name width " + (nameWidth == UINT64_MAX ? std::string(options[2].value)
                                                            : number(nameWidth)) +
                    " is out of range (1 to " + number(TY_NAME_BUFFER_SIZE - 1) + ")");

    std::vector<std::string> names;
    for (size_t i = 0; i < files.size(); i++) {
        std::string name = baseName(files[i]);
        if (!isPlainFileName(name))
            return fail(quoteName(files[i]) + ": " + quoteName(name) + " is not a plain file name");
        if (name.size() > nameWidth)
            return fail(quoteName(files[i]) + ": the name " + quoteName(name) + " is " +
                        number(name.size()) + " bytes, longer than the name width of " +
                        number(nameWidth));
        for (size_t k = 0; k < i; k++)
            if (sameNameOnWindows(names[k], name))
                return fail(quoteName(files[i]) + ": the name " + quoteName(name) +
                            " is already taken by entry " + number(k) + " " + quoteName(files[k]));
        names.push_back(name);
    }

    Bytes stub;
    if (!readFile(options[0].value, &stub, &error)) return fail(error);
    std::vector<WriterRecord> records(files.size());
    for (size_t i = 0; i < files.size(); i++) {
        Bytes content;
        if (!readFile(files[i], &content, &error)) return fail(error);
        std::string why;
        if (i == 0 && !checkBitmap(content, &why))
            return fail("entry 0 " + quoteName(files[i]) + " is not a BMP file: " + why);
        if (!makeBzip2Record(names[i], content, &records[i]))
            return fail("libbzip2 failed to compress " + quoteName(files[i]));
    }

    // A size signing need not pad: the certificate table then follows the
    // trailer directly, where the installer looks for it.
    Bytes image = writePackage(stub, (uint32_t)nameWidth, records, TY_PACKAGE_ALIGNMENT);
    uint64_t checkedSize = image.size() - TY_DIGEST_SIZE - stub.size();
    if (checkedSize > TY_MAX_CHECKED_SIZE)
        return fail("the package's checked part would be " + bytesText(checkedSize) + ", " +
                    bytesText(checkedSize - TY_MAX_CHECKED_SIZE) + " over the limit of " +
                    number(TY_MAX_CHECKED_SIZE));
    if (!writeFileWhole(output, image, &error)) return fail(error);
    printf("wrote %s: %llu bytes, package of %llu bytes at offset %llu\n", output.c_str(),
           (unsigned long long)image.size(), (unsigned long long)(image.size() - stub.size()),
           (unsigned long long)stub.size());
    return 0;
}

// The single installer argument of list, verify and extract.
static int parseInstallerCall(int argc, char **argv, Option *options, int optionCount,
                              std::string *path) {
    std::vector<std::string> arguments;
    std::string error;
    if (!parseArguments(argc, argv, 2, options, optionCount, &arguments, &error))
        return badCall(error);
    if (arguments.size() != 1)
        return badCall(std::string(argv[1]) + " takes one installer, not " +
                       number(arguments.size()));
    *path = arguments[0];
    return 0;
}

static int loadInstaller(const std::string &path, Bytes *image, InspectedPackage *package) {
    std::string error;
    if (!readFile(path, image, &error)) return fail(error);
    if (!inspectPackage(*image, package, &error)) return fail(quoteName(path) + ": " + error);
    return 0;
}

// "signed (certificate table N bytes)" and sep for a signed installer;
// nothing for one that is not, whose output stays as it always was.
static std::string signatureText(const InspectedPackage &package, const char *sep) {
    if (package.certificateSize == 0) return "";
    return "signed (certificate table " + bytesText(package.certificateSize) + ")" + sep;
}

static int list(int argc, char **argv) {
    std::string path;
    Bytes image;
    InspectedPackage package;
    int result = parseInstallerCall(argc, argv, NULL, 0, &path);
    if (result == 0) result = loadInstaller(path, &image, &package);
    if (result != 0) return result;
    printf("%s", signatureText(package, "\n").c_str());
    printf("package start: %u\n", package.packageStart);
    printf("checked part: %llu bytes\n", (unsigned long long)package.checkedSize);
    printf("name width: %u\n", package.nameWidth);
    printf("entries: %u\n", package.fileCount);
    printf("control check: %s\n", package.controlCheckHolds ? "holds" : "FAILS");
    printf("index  uncompressed  compressed  flags  data offset  name\n");
    for (size_t i = 0; i < package.entries.size(); i++) {
        const InspectedEntry &entry = package.entries[i];
        printf("%5zu  %12u  %10u  %5u  %11u  %s\n", i, entry.uncompressedSize,
               entry.compressedSize, (unsigned)entry.flags, entry.dataOffset,
               escapeName(entry.name).c_str());
    }
    return 0;
}

// Reports every fault, not only the first: a release engineer looking at a
// broken installer wants the whole picture at once.
static int verify(int argc, char **argv) {
    std::string path;
    Bytes image;
    InspectedPackage package;
    int result = parseInstallerCall(argc, argv, NULL, 0, &path);
    if (result == 0) result = loadInstaller(path, &image, &package);
    if (result != 0) return result;

    int faults = 0;
    if (!package.controlCheckHolds)
        faults += fail("control check FAILS: the MD5 digest of the package differs from the "
                       "one in its trailer");
    if (package.checkedSize > TY_MAX_CHECKED_SIZE)
        faults += fail("the package's checked part is " + bytesText(package.checkedSize) +
                       ", " + bytesText(package.checkedSize - TY_MAX_CHECKED_SIZE) +
                       " over the limit of " + number(TY_MAX_CHECKED_SIZE));
    if (package.nameWidth >= TY_NAME_BUFFER_SIZE)
        faults += fail("name width " + number(package.nameWidth) + " is over the limit of " +
                       number(TY_NAME_BUFFER_SIZE - 1));
    if (package.fileCount != TY_PACKAGE_ENTRY_COUNT)
        faults += fail("the package holds " + number(package.fileCount) + " entries, not " +
                       number(TY_PACKAGE_ENTRY_COUNT));
    for (size_t i = 0; i < package.entries.size(); i++) {
        const InspectedEntry &entry = package.entries[i];
        std::string which = "entry " + number(i) + " " + quoteName(entry.name) + ": ";
        if (!isPlainFileName(entry.name)) faults += fail(which + "not a plain file name");
        Bytes content;
        std::string error;
        if (!decodeEntry(image, package, entry, &content, &error))
            faults += fail(which + error);
        else if (i == 0 && !checkBitmap(content, &error))
            faults += fail(which + "not a BMP file: " + error);
    }
    if (faults != 0) return 1;
    printf("%s: %scontrol check holds, %u entries verified\n", path.c_str(),
           signatureText(package, ", ").c_str(), package.fileCount);
    return 0;
}

static int extract(int argc, char **argv) {
    Option options[] = {{"--output", NULL}, {"--entry", NULL}};
    std::string path;
    Bytes image;
    InspectedPackage package;
    int result = parseInstallerCall(argc, argv, options, 2, &path);
    if (result != 0) return result;
    if (options[0].value == NULL) return badCall("extract needs --output");
    std::string directory = options[0].value;
    uint64_t first = 0;
    if (options[1].value != NULL && !parseNumber(options[1].value, &first))
        return badCall(std::string("--entry needs a number, not ") + quoteName(options[1].value));
    result = loadInstaller(path, &image, &package);
    if (result != 0) return result;
    uint64_t end = package.fileCount;
    if (options[1].value != NULL) {
        if (first >= package.fileCount)
            return fail("there is no entry " + std::string(options[1].value) + "; the package holds " +
                        number(package.fileCount) + " entries");
        end = first + 1;
    }

    // Everything is decoded before the first file is written, so that a bad
    // entry leaves nothing behind.
    std::vector<Bytes> contents;
    for (uint64_t i = first; i < end; i++) {
        const InspectedEntry &entry = package.entries[i];
        std::string which = "entry " + number(i) + " " + quoteName(entry.name) + ": ";
        if (!isPlainFileName(entry.name)) return fail(which + "not a plain file name");
        Bytes content;
        std::string error;
        if (!decodeEntry(image, package, entry, &content, &error)) return fail(which + error);
        contents.push_back(content);
    }
    if (mkdir(directory.c_str(), 0777) != 0 && errno != EEXIST)
        return fail("cannot create " + quoteName(directory) + ": " + strerror(errno));
    for (uint64_t i = first; i < end; i++) {
        std::string target = directory + "/" + package.entries[i].name;
        std::string error;
        if (!writeFileWhole(target, contents[i - first], &error)) return fail(error);
        printf("wrote %s: %s\n", target.c_str(), bytesText(contents[i - first].size()).c_str());
    }
    return 0;
}

int main(int argc, char **argv) {
    for (int i = 1; i < argc && strcmp(argv[i], "--") != 0; i++) {
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
            fputs(usageText, stdout);
            return 0;
        }
    }
    if (argc < 2) return badCall("no command given");
    if (strcmp(argv[1], "build") == 0) return build(argc, argv);
    if (strcmp(argv[1], "list") == 0) return list(argc, argv);
    if (strcmp(argv[1], "verify") == 0) return verify(argc, argv);
    if (strcmp(argv[1], "extract") == 0) return extract(argc, argv);
    return badCall(std::string("unknown command ") + quoteName(argv[1]));
}
