#pragma once

#include <QString>

namespace platform {

class Uuid {
  public:
    /// A new random UUID in canonical form: 36 characters, upper-case hexadecimal in groups of
    /// 8-4-4-4-12. Safe from any thread.
    static QString createString();
};

} // namespace platform
