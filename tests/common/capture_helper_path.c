/* Every test program captures through the tapwatch-capture of its own build:
   the programs look beside their own file, the tests live elsewhere. A
   variable a test sets itself wins. */
#include <stdlib.h>

__attribute__((constructor)) static void NameCaptureHelper(void) {
    setenv("TAPWATCH_CAPTURE", TAPWATCH_CAPTURE_TOOL, 0);
}
