// The host-only side of the unit tests' support: the common fixtures over the
// Win32 stand-in (its implementation of ty_test_platform.h), and the checks of
// a fatal box that only the stand-in can make, with the process going on.
#ifndef TY_TEST_SUPPORT_H
#define TY_TEST_SUPPORT_H

#include <string>
#include <utility>
#include <vector>

#include "ty_common_test_support.h"
#include "ty_standin.h"

// The process ended through a fatal box with exactly this text, and gave the
// lock back. The lock must have been taken (ProductTest::takeLock).
void expectFatalBox(const ProductRun &run, const std::string &text);

#endif
