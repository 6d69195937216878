// A program that links the data-source library and nothing else, as an outside program would.
// The library's public headers use platform types, so this builds only when the library passes
// the platform layer on to its users.
#include "datasource/NVSCGDataSource.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    NVSCGDataSource dataSource;
    platform::Error error;
    const bool read = dataSource.readFromData("<not_a_data_source/>"_ba, NVSCGDataSourceDocumentType, &error);
    return !read && !error.localizedDescription().isEmpty() ? 0 : 1;
}
