// filled in by the wizard work
#include "ty_standin.h"
