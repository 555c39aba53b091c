// The Microsoft C runtime's folder calls, for host builds; see io.h for paths
// and errno.
#ifndef TY_STANDIN_DIRECT_H
#define TY_STANDIN_DIRECT_H

#ifdef __cplusplus
extern "C" {
#endif

int _mkdir(const char *path);
int _rmdir(const char *path);
int _chdir(const char *path);

#ifdef __cplusplus
}
#endif

#endif
