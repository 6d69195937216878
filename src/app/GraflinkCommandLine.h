#pragma once

#include <QStringList>
#include <optional>

/// The desktop program's own options, answered before any window or display is needed:
/// `--help` and `--version` print to standard output and end the program (the manual page is
/// made from them at build time). Everything else on the command line is a file to open.
class GraflinkCommandLine {
  public:
    /// The exit status when `arguments` (without the program name) ask for help or the version
    /// and the answer went to `out`; nullopt when the program should start.
    static std::optional<int> answer(const QStringList& arguments, QString* out);
    /// The same over main()'s arguments, printing the answer to standard output.
    static std::optional<int> answer(int argc, char** argv);
    static QString helpText();
};
