#pragma once

#include <QString>

class GenerateUniqueID {
  public:
    /// A fresh UUID string: 36 upper-case hexadecimal characters in groups 8-4-4-4-12.
    static QString generateUniqueID();
};
