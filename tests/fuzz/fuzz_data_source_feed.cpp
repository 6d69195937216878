// libFuzzer target: see DataSourceFuzzEntries::dataSourceFeed.
#include "DataSourceFuzzEntries.h"
#include "FuzzEntries.h"
#include "FuzzSetup.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    FuzzSetup::initialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DataSourceFuzzEntries::dataSourceFeed(FuzzEntries::bytesOf(data, size));
    return 0;
}
