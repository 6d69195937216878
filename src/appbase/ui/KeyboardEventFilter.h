#pragma once

#include <QObject>

class NVSLogController;
class QKeyEvent;

/// Drops malformed key presses before they reach a window: a key press that carries the keypad
/// flag but neither text nor a usable key code. Each dropped event is logged ("Ignoring buggy
/// event %@", level 0, not shown). The keypad's arrows, Home and End arrive with the flag and no
/// text but with their key codes, so they pass. Installed on the application object.
class KeyboardEventFilter : public QObject {
    Q_OBJECT
  public:
    /// `logger` null: the process's technical log.
    explicit KeyboardEventFilter(NVSLogController* logger = nullptr, QObject* parent = nullptr);

    static bool isMalformed(const QKeyEvent& event);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    NVSLogController* m_logger;
};
