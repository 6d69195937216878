// libFuzzer target: see RackFuzzEntries::recordingIndex.
#include "FuzzEntries.h"
#include "FuzzSetup.h"
#include "RackFuzzEntries.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    FuzzSetup::initialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RackFuzzEntries::recordingIndex(FuzzEntries::bytesOf(data, size));
    return 0;
}
