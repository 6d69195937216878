#pragma once

#include <QMainWindow>
#include <functional>

class QTreeWidget;
class QLabel;
namespace platform {
class Document;
class DocumentController;
} // namespace platform

/// The program's own window: the open documents and what each is doing, with the commands that
/// belong to the application. Documents keep running while it is closed (every window's Window
/// menu brings it back); the program quits when its last window closes.
class ApplicationWindow : public QMainWindow {
    Q_OBJECT
  public:
    /// Asks the user for files to open; tests inject their own.
    using FileChooser = std::function<QStringList(QWidget* parent)>;

    ApplicationWindow(platform::DocumentController& documents, QWidget* parent = nullptr);
    ~ApplicationWindow() override;

    void setFileChooser(FileChooser chooser) { m_chooser = std::move(chooser); }
    void openDocuments();
    /// Runs `quit` at once when nothing is on air; otherwise asks first (window-modal) and runs it
    /// only when the user confirms.
    void confirmQuit(int documentsOnAir, std::function<void()> quit);

  Q_SIGNALS:
    void newDocumentRequested();
    void newDataSourceRequested();
    void quitRequested();

  private:
    void rebuildList();
    QStringList describe(const platform::Document& document) const;

    platform::DocumentController& m_documents;
    FileChooser m_chooser;
    QTreeWidget* m_list = nullptr;
    QLabel* m_status = nullptr;
};
