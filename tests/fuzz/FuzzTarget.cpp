// One libFuzzer target: GRAFLINK_FUZZ_ENTRY names its entry (CMake builds one fuzz_<name> per entry).
#include "FuzzEntries.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    FuzzSetup::initialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    GRAFLINK_FUZZ_ENTRY(FuzzEntries::bytesOf(data, size));
    return 0;
}
