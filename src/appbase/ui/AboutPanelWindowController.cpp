#include "appbase/ui/AboutPanelWindowController.h"

#include "ui_AboutPanel.h"

#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

AboutPanelWindowController::AboutPanelWindowController(const QVariantMap& infoDictionary, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::AboutPanel>()) {
    m_ui->setupUi(this);
    const QString name = infoDictionary.value(QStringLiteral("CFBundleName")).toString();
    QString version = infoDictionary.value(QStringLiteral("CFBundleShortVersionString")).toString();
    if (version.isEmpty())
        version = QStringLiteral("0.0.0");
    const QString build = infoDictionary.value(QStringLiteral("CFBundleVersion")).toString();
    setWindowTitle(tr("About %1").arg(name));
    setAccessibleName(windowTitle());
    m_ui->applicationNameLabel->setText(name);
    m_ui->applicationNameLabel->setAccessibleName(name);
    QFont title = m_ui->applicationNameLabel->font();
    title.setPointSizeF(title.pointSizeF() * 1.6);
    title.setBold(true);
    m_ui->applicationNameLabel->setFont(title);
    const QString versionText = build.isEmpty() ? QStringLiteral("version %1").arg(version)
                                                : QStringLiteral("version %1 (%2)").arg(version, build);
    m_ui->versionLabel->setText(versionText);
    m_ui->versionLabel->setAccessibleName(versionText);
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = style()->standardIcon(QStyle::SP_DesktopIcon);
    m_ui->iconView->setPixmap(icon.pixmap(96, 96));
    QPushButton* aboutQt = m_ui->buttonBox->addButton(tr("About &Qt"), QDialogButtonBox::HelpRole);
    aboutQt->setAccessibleName(tr("About Qt"));
    connect(aboutQt, &QPushButton::clicked, this, [this] { QApplication::aboutQt(); });
    m_ui->buttonBox->button(QDialogButtonBox::Close)->setAccessibleName(tr("Close"));
}

AboutPanelWindowController::~AboutPanelWindowController() = default;

void AboutPanelWindowController::display() {
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    raise();
    activateWindow();
}
