#include "platform/CNumericLocale.h"

namespace platform {

locale_t CNumericLocale::handle() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return c;
}

} // namespace platform
