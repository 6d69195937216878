#include "app/ui/FeedAuthenticationDialog.h"

#include "app/GraflinkDocumentFeedAuth.h"
#include "feed/FeedCredentials.h"
#include "platform/SecretStore.h"
#include "platform/ui/SetValueCommand.h"
#include "ui_FeedAuthentication.h"

#include <QCoreApplication>
#include <QPointer>
#include <QPushButton>
#include <QThreadPool>

using Scheme = platform::FeedAuthentication::Scheme;

FeedAuthenticationDialog::FeedAuthenticationDialog(const platform::FeedAuthentication& current,
                                                   std::function<QUrl()> feed,
                                                   std::shared_ptr<platform::SecretStore> store, Apply apply,
                                                   QWidget* parent)
    : QDialog(parent), m_current(current), m_feed(std::move(feed)), m_store(std::move(store)),
      m_apply(std::move(apply)), m_ui(std::make_unique<Ui::FeedAuthentication>()) {
    m_ui->setupUi(this);
    setWindowModality(Qt::WindowModal);
    m_ui->schemeComboBox->addItem(tr("Nothing"), int(Scheme::None));
    m_ui->schemeComboBox->addItem(tr("User name and password (Basic)"), int(Scheme::Basic));
    m_ui->schemeComboBox->addItem(tr("Token (Bearer)"), int(Scheme::Bearer));
    m_ui->schemeComboBox->addItem(tr("Custom headers"), int(Scheme::Headers));
    m_ui->schemeComboBox->setCurrentIndex(m_ui->schemeComboBox->findData(int(current.scheme)));
    m_ui->userField->setText(current.user);
    QStringList lines;
    for (const QString& name : current.headerNames)
        lines << name + QStringLiteral(": ");
    m_ui->headersField->setPlainText(lines.join(QLatin1Char('\n')));
    m_ui->buttonBox->button(QDialogButtonBox::Ok)->setAccessibleName(tr("OK"));
    m_ui->buttonBox->button(QDialogButtonBox::Cancel)->setAccessibleName(tr("Cancel"));
    connect(m_ui->schemeComboBox, &QComboBox::currentIndexChanged, this,
            &FeedAuthenticationDialog::showScheme);
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &FeedAuthenticationDialog::accept);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    showScheme();
}

FeedAuthenticationDialog::~FeedAuthenticationDialog() = default;

QUndoCommand*
FeedAuthenticationDialog::changeStep(std::function<platform::FeedAuthentication()> get,
                                     std::function<void(const platform::FeedAuthentication&)> set,
                                     const platform::FeedAuthentication& settings) {
    // An undo step holds a plain value: the settings as the keys of a document's file.
    const auto keys = [](const platform::FeedAuthentication& value) {
        QVariantMap dictionary;
        GraflinkDocumentFeedAuth::write(value, dictionary);
        return QVariant(dictionary);
    };
    return new platform::SetValueCommand(
        tr("Change Feed Sign-in"), [get = std::move(get), keys] { return keys(get()); },
        [set = std::move(set)](const QVariant& value) { set(GraflinkDocumentFeedAuth::read(value.toMap())); },
        keys(settings));
}

Scheme FeedAuthenticationDialog::scheme() const {
    return Scheme(m_ui->schemeComboBox->currentData().toInt());
}

void FeedAuthenticationDialog::showScheme() {
    const Scheme chosen = scheme();
    const bool basic = chosen == Scheme::Basic, secret = basic || chosen == Scheme::Bearer;
    m_ui->userLabel->setVisible(basic);
    m_ui->userField->setVisible(basic);
    m_ui->secretLabel->setVisible(secret);
    m_ui->secretField->setVisible(secret);
    m_ui->secretLabel->setText(basic ? tr("&Password") : tr("&Token"));
    m_ui->secretField->setAccessibleName(basic ? tr("Password") : tr("Token"));
    m_ui->headersLabel->setVisible(chosen == Scheme::Headers);
    m_ui->headersField->setVisible(chosen == Scheme::Headers);
}

void FeedAuthenticationDialog::fail(const QString& message) {
    m_ui->errorLabel->setText(message);
    m_ui->errorLabel->setAccessibleName(message);
    m_ui->errorLabel->show();
}

void FeedAuthenticationDialog::accept() {
    if (m_storing)
        return;
    platform::FeedAuthentication settings;
    settings.scheme = scheme();
    settings.user = m_ui->userField->text().trimmed();
    settings.account = m_current.account;
    QString secret = m_ui->secretField->text();
    QMap<QString, QString> headerValues;
    bool headerValuesGiven = false;
    if (settings.scheme == Scheme::Headers) {
        for (const QString& line :
             m_ui->headersField->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const qsizetype colon = line.indexOf(QLatin1Char(':'));
            const QString name = (colon < 0 ? line : line.left(colon)).trimmed();
            if (!platform::FeedAuthentication::isValidHeaderName(name)) {
                fail(tr("“%1” cannot name a header.").arg(name));
                return;
            }
            settings.headerNames.append(name);
            const QString value = colon < 0 ? QString() : line.mid(colon + 1).trimmed();
            headerValues.insert(name, value);
            headerValuesGiven = headerValuesGiven || !value.isEmpty();
        }
        if (settings.headerNames.isEmpty()) {
            fail(tr("Name at least one header, or choose Nothing."));
            return;
        }
        secret = headerValuesGiven ? platform::FeedAuthentication::headersSecret(headerValues) : QString();
    }
    if (settings.scheme == Scheme::Basic && settings.user.isEmpty()) {
        fail(tr("Basic sign-in needs a user name."));
        return;
    }
    settings = settings.normalized();
    const QUrl feed = m_feed();
    if (!settings.isEnabled() || secret.isEmpty()) {
        // Nothing new to keep: the secret stored for this feed and account stays as it is.
        m_apply(settings);
        QDialog::accept();
        return;
    }
    const std::shared_ptr<platform::SecretStore> store = m_store;
    if (!store || platform::FeedAuthentication::secretService(feed).isEmpty()) {
        fail(!store ? tr("The keychain is not available: the secret cannot be kept.")
                    : tr("Set an http or https feed address first: the secret is kept for that server."));
        return;
    }
    // The keychain may ask the user or wait for its service: never on the main thread.
    m_storing = true;
    m_ui->buttonBox->setEnabled(false);
    QThreadPool::globalInstance()->start(
        [self = QPointer<FeedAuthenticationDialog>(this), store, settings, feed, secret] {
            const bool stored = platform::FeedCredentials::storeSecret(*store, settings, feed, secret);
            QMetaObject::invokeMethod(
                qApp,
                [self, stored, settings] {
                    if (!self)
                        return;
                    self->m_storing = false;
                    self->m_ui->buttonBox->setEnabled(true);
                    if (!stored) {
                        self->fail(tr("The keychain did not take the secret; nothing was changed."));
                        return;
                    }
                    self->m_apply(settings);
                    self->QDialog::accept();
                },
                Qt::QueuedConnection);
        });
}
