#pragma once

#include <QString>
#include <memory>

namespace platform {

/// Formats numbers with a decimal pattern (`#`, `0`, grouping, literal prefixes and suffixes,
/// `%`, a `;` negative part) in a locale's symbols, rounding half-even.
///
/// Thread affinity: construction and assignment on one thread; once constructed, format() may be
/// called from any number of threads at once (it uses ICU's immutable, thread-safe formatter).
class NumberPatternFormatter {
  public:
    /// `localeName` is an ICU locale such as "en_US" or "de_CH"; empty means ICU's default
    /// locale, which follows the user's environment.
    explicit NumberPatternFormatter(const QString& pattern, const QString& localeName = QString());
    ~NumberPatternFormatter();
    NumberPatternFormatter(NumberPatternFormatter&&) noexcept;
    NumberPatternFormatter& operator=(NumberPatternFormatter&&) noexcept;

    const QString& pattern() const { return m_pattern; }
    /// Whether the pattern was accepted; format() gives an empty string otherwise.
    bool isValid() const;
    /// Why the pattern was rejected (names the pattern and ICU's error), or empty when valid.
    const QString& errorText() const { return m_errorText; }

    QString format(double value) const;

  private:
    struct Private;
    QString m_pattern;
    QString m_errorText;
    std::unique_ptr<const Private> d;
};

} // namespace platform
