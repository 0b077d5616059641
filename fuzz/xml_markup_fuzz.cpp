// libFuzzer target: any bytes (up to the first zero, as Parse reads them) are
// parsed and every element is walked and read. Crashes, reads past the text
// and endless loops show through the sanitizers and -timeout; the walk's own
// checks abort.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "fuzz/xml_markup_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size heap copy: a read one byte past the terminating zero is seen.
    const auto text = std::make_unique<char[]>(size + 1);
    if (size != 0) std::memcpy(text.get(), data, size);
    text[size] = '\0';
    const MarkupWalk walk = WalkMarkup(text.get());
    if (!walk.problem.empty()) {
        std::fprintf(stderr, "xml_markup walk: %s\n", walk.problem.c_str());
        std::abort();
    }
    return 0;
}
