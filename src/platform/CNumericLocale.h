#pragma once

#include <locale.h>

namespace platform {

/// The C locale, for numbers stored in files. Qt sets the process's locale from the environment,
/// and the C library's number reading follows it: under a locale with a decimal comma, strtod
/// (and libplist, which uses it) reads "0.5" as 0. What is read and written here has a decimal
/// point whatever the user's locale.
class CNumericLocale {
  public:
    /// The C locale's handle, for the `_l` functions (strtod_l); made once, never freed.
    static locale_t handle();

    /// Makes the calling thread use the C locale until the scope ends, for a library that reads
    /// numbers with the thread's locale.
    class Scope {
      public:
        Scope() : m_previous(uselocale(handle())) {}
        ~Scope() { uselocale(m_previous); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

      private:
        locale_t m_previous;
    };
};

} // namespace platform
