// libFuzzer target: see FuzzEntries::xmlInventory.
#include "FuzzEntries.h"
#include "FuzzSetup.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    FuzzSetup::initialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzEntries::xmlInventory(FuzzEntries::bytesOf(data, size));
    return 0;
}
