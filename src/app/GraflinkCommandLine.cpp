#include "app/GraflinkCommandLine.h"

#include "platform/BundleInfo.h"

#include <cstdio>

std::optional<int> GraflinkCommandLine::answer(const QStringList& arguments, QString* out) {
    for (const QString& argument : arguments) {
        if (argument == QStringLiteral("--"))
            break;
        if (argument == QStringLiteral("--help") || argument == QStringLiteral("-h")) {
            *out = helpText();
            return 0;
        }
        if (argument == QStringLiteral("--version")) {
            *out =
                QStringLiteral("Graflink %1 (%2)\n")
                    .arg(platform::BundleInfo::shortVersionString(), platform::BundleInfo::bundleVersion());
            return 0;
        }
    }
    return std::nullopt;
}

std::optional<int> GraflinkCommandLine::answer(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    QString out;
    const std::optional<int> status = answer(arguments, &out);
    if (status)
        std::fputs(out.toLocal8Bit().constData(), stdout);
    return status;
}

QString GraflinkCommandLine::helpText() {
    return QStringLiteral(
        "Graflink: links live XML and JSON feeds to the text fields of projects on a CG playout server.\n"
        "\n"
        "Usage: Graflink [FILE...]\n"
        "\n"
        "Reopens the documents that were open when the program last quit, then opens each FILE in a\n"
        "window of its own: a Graflink document (.graflink) or a data source (.cgds). File > Quit or\n"
        "SIGTERM stores the list of open documents for the next start.\n"
        "\n"
        "Options:\n"
        "  -h, --help     print this help and end\n"
        "  --version      print the version and end\n"
        "\n"
        "Files:\n"
        "  $XDG_CONFIG_HOME/Norvane/Graflink.conf       settings\n"
        "  $XDG_STATE_HOME/Norvane/Logs/Graflink/       the technical log, one file per day\n"
        "  $XDG_STATE_HOME/Norvane/DiagnosticReports/   crash reports\n"
        "\n"
        "graflink-cli runs the same documents without windows (graflink-cli --help).\n");
}
