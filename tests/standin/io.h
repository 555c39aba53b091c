// The Microsoft C runtime's low-level file I/O, for host builds. On Windows the
// _O_* flags come from <fcntl.h>; the host's <fcntl.h> has none, so they are
// here, with their Windows values. Paths may use "\" as on Windows; errno
// takes the values the Microsoft runtime gives.
#ifndef TY_STANDIN_IO_H
#define TY_STANDIN_IO_H

#define _O_RDONLY 0x0000
#define _O_WRONLY 0x0001
#define _O_RDWR 0x0002
#define _O_APPEND 0x0008
#define _O_CREAT 0x0100
#define _O_TRUNC 0x0200
#define _O_EXCL 0x0400
#define _O_TEXT 0x4000
#define _O_BINARY 0x8000

// The permission argument of _open with _O_CREAT (<sys/stat.h> on Windows).
#define _S_IREAD 0x0100
#define _S_IWRITE 0x0080

#ifdef __cplusplus
extern "C" {
#endif

int _open(const char *path, int flags, ...);
int _read(int descriptor, void *buffer, unsigned int count);
long _lseek(int descriptor, long offset, int origin);
int _close(int descriptor);
int _write(int descriptor, const void *buffer, unsigned int count);
int _access(const char *path, int mode);
int _unlink(const char *path);

#ifdef __cplusplus
}
#endif

#endif
