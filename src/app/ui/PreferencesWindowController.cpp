#include "app/ui/PreferencesWindowController.h"

#include "platform/UserDefaults.h"
#include "ui_Preferences.h"

#include <QFileDialog>
#include <QShortcut>

namespace {

QString chooseWithDialog(QWidget* parent, bool folder, const QString& current) {
    if (folder)
        return QFileDialog::getExistingDirectory(parent, QObject::tr("Choose the Actions Folder"), current);
    return QFileDialog::getOpenFileName(parent, QObject::tr("Choose the Still Image"), current,
                                        QObject::tr("Images (*.png *.jpg *.jpeg *.tif *.tiff *.bmp *.gif)"));
}

} // namespace

PreferencesWindowController::PreferencesWindowController(platform::UserDefaults& defaults, QWidget* parent)
    : QWidget(parent, Qt::Window), m_defaults(defaults), m_ui(std::make_unique<Ui::Preferences>()),
      m_chooser(chooseWithDialog) {
    m_ui->setupUi(this);
    connect(m_ui->chooseActionsFolderButton, &QPushButton::clicked, this,
            &PreferencesWindowController::selectAppleScriptsFolder);
    connect(m_ui->chooseStillImageButton, &QPushButton::clicked, this,
            &PreferencesWindowController::dataSourceExportSelectStillImageFolder);
    connect(m_ui->clearActionsFolderButton, &QPushButton::clicked, this,
            [this] { clear(AppleScriptsFolderPathKey); });
    connect(m_ui->clearStillImageButton, &QPushButton::clicked, this,
            [this] { clear(DataSourceExportStillImagePathKey); });
    connect(new QShortcut(QKeySequence::Cancel, this), &QShortcut::activated, this, &QWidget::close);
    showValues();
}

PreferencesWindowController::~PreferencesWindowController() = default;

void PreferencesWindowController::showValues() {
    const auto show = [this](QLabel* label, QPushButton* clear, const QString& key) {
        const QString path = m_defaults.stringForKey(key).value_or(QString());
        label->setText(path.isEmpty() ? tr("Not set") : path);
        label->setAccessibleName(label->text());
        clear->setEnabled(!path.isEmpty());
    };
    show(m_ui->actionsFolderPathLabel, m_ui->clearActionsFolderButton, AppleScriptsFolderPathKey);
    show(m_ui->stillImagePathLabel, m_ui->clearStillImageButton, DataSourceExportStillImagePathKey);
}

void PreferencesWindowController::selectAppleScriptsFolder() {
    choose(true, AppleScriptsFolderPathKey);
}

void PreferencesWindowController::dataSourceExportSelectStillImageFolder() {
    choose(false, DataSourceExportStillImagePathKey);
}

void PreferencesWindowController::choose(bool folder, const QString& key) {
    const QString path = m_chooser(this, folder, m_defaults.stringForKey(key).value_or(QString()));
    if (path.isEmpty())
        return;
    m_defaults.setValue(key, path);
    m_defaults.synchronize();
    showValues();
}

void PreferencesWindowController::clear(const QString& key) {
    m_defaults.removeObject(key);
    m_defaults.synchronize();
    showValues();
}
