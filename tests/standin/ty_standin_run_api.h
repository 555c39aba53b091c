// filled in by the wizard work
#ifndef TY_STANDIN_RUN_API_H
#define TY_STANDIN_RUN_API_H
#endif
