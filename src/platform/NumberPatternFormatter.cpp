#include "platform/NumberPatternFormatter.h"

#include <unicode/decimfmt.h>
#include <unicode/numberformatter.h>
#include <unicode/unistr.h>

namespace platform {

struct NumberPatternFormatter::Private {
    // A copy of the pattern's formatter: unlike DecimalFormat it is immutable and thread-safe.
    icu::number::LocalizedNumberFormatter formatter;
};

namespace {

QString fromUnicodeString(const icu::UnicodeString& text) {
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

} // namespace

NumberPatternFormatter::NumberPatternFormatter(const QString& pattern, const QString& localeName)
    : m_pattern(pattern) {
    const QByteArray utf8Pattern = pattern.toUtf8();
    const icu::Locale locale =
        localeName.isEmpty() ? icu::Locale::getDefault() : icu::Locale(localeName.toUtf8().constData());
    UErrorCode status = U_ZERO_ERROR;
    auto* symbols = new icu::DecimalFormatSymbols(locale, status);
    if (U_FAILURE(status)) {
        delete symbols;
        m_errorText = QStringLiteral("No number symbols for the locale “%1” (%2).")
                          .arg(localeName, QString::fromLatin1(u_errorName(status)));
        return;
    }
    // The constructor adopts the symbols, even when it fails.
    icu::DecimalFormat format(
        icu::UnicodeString::fromUTF8(icu::StringPiece(utf8Pattern.constData(), int32_t(utf8Pattern.size()))),
        symbols, status);
    if (U_FAILURE(status)) {
        m_errorText = QStringLiteral("The number pattern “%1” is not valid (%2).")
                          .arg(pattern, QString::fromLatin1(u_errorName(status)));
        return;
    }
    const icu::number::LocalizedNumberFormatter* formatter = format.toNumberFormatter(status);
    if (U_FAILURE(status) || !formatter) {
        m_errorText = QStringLiteral("The number pattern “%1” could not be prepared (%2).")
                          .arg(pattern, QString::fromLatin1(u_errorName(status)));
        return;
    }
    d = std::make_unique<const Private>(Private{*formatter});
}

NumberPatternFormatter::~NumberPatternFormatter() = default;
NumberPatternFormatter::NumberPatternFormatter(NumberPatternFormatter&&) noexcept = default;
NumberPatternFormatter& NumberPatternFormatter::operator=(NumberPatternFormatter&&) noexcept = default;

bool NumberPatternFormatter::isValid() const {
    return d != nullptr;
}

QString NumberPatternFormatter::format(double value) const {
    if (!d)
        return QString();
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString text = d->formatter.formatDouble(value, status).toString(status);
    if (U_FAILURE(status))
        return QString();
    return fromUnicodeString(text);
}

} // namespace platform
