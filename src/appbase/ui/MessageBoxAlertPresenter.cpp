#include "appbase/ui/MessageBoxAlertPresenter.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

int MessageBoxAlertPresenter::runModal(Style style, const QString& title, const QString& message,
                                       const QStringList& buttonTitles) {
    QMessageBox box;
    switch (style) {
    case Style::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case Style::Informational:
        box.setIcon(QMessageBox::Information);
        break;
    case Style::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    box.setText(title);
    box.setInformativeText(message);
    QList<QAbstractButton*> buttons;
    for (const QString& buttonTitle : buttonTitles) {
        // AcceptRole keeps every button closing the box; the order gives the response.
        QPushButton* button = box.addButton(buttonTitle, QMessageBox::AcceptRole);
        if (buttons.isEmpty())
            box.setDefaultButton(button);
        buttons.append(button);
    }
    if (buttons.isEmpty())
        buttons.append(box.addButton(QMessageBox::Ok));
    if (m_aboutToRun)
        m_aboutToRun(box);
    box.exec();
    const qsizetype index = buttons.indexOf(box.clickedButton());
    return FirstButtonReturn + static_cast<int>(std::max<qsizetype>(index, 0));
}
