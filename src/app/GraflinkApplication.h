#pragma once

#include "appbase/NorvaneApplication.h"

class AppDelegate;

/// Graflink's application object: its prefix and product code, and the hand-over to its delegate
/// once launching has finished.
class GraflinkApplication : public NorvaneApplication {
    Q_OBJECT
  public:
    /// 'GLNK', the product code the release-notes service knows Graflink by.
    static constexpr std::uint32_t OSType = 0x474C4E4B;

    explicit GraflinkApplication(Environment environment = Environment(), QObject* parent = nullptr);

    QString applicationPrefix() const override { return QStringLiteral("com.norvanemedia.Graflink"); }
    std::uint32_t applicationOSType() const override { return OSType; }

    /// Not owned; set before finishLaunching.
    void setDelegate(AppDelegate* delegate) { m_delegate = delegate; }
    AppDelegate* delegate() const { return m_delegate; }

    void finishLaunching() override;

  private:
    AppDelegate* m_delegate = nullptr;
};
