/* How the product's programs of the sample build report that they were
   started: one line appended to TYStarts.log in the folder of the program's
   own file, then nothing more. */
#ifndef TY_START_LOG_H
#define TY_START_LOG_H

#define TY_START_LOG_FILE "TYStarts.log"

/* Appends "<programName>\t<arguments>\t<current folder>\r\n". True when the
   line was written. */
int logStart(const char *programName);

#endif
