#include "app/ScriptFilter.h"

#include "platform/SharedLibrary.h"

namespace {

/// Stands in for the JavaScript filter when its module cannot be loaded: every run with a script
/// says why and runs nothing, so the values go out as evaluated.
class UnavailableScriptFilter : public ScriptFilter {
  public:
    UnavailableScriptFilter(QString reason, LogLine log)
        : m_reason(std::move(reason)), m_log(std::move(log)) {}

    Outcome run(const QString& scriptPath, VariableBindings&, Limits) override {
        if (scriptPath.isEmpty())
            return Outcome::NotRun;
        if (m_problem.isEmpty()) {
            m_problem = QStringLiteral("The JavaScript engine could not be loaded (%1): the values go out "
                                       "unfiltered.")
                            .arg(m_reason);
            if (m_log)
                m_log(QStringLiteral("JavaScript filter not run: %1").arg(m_reason));
        }
        return Outcome::NotRun;
    }
    const QString& problem() const override { return m_problem; }
    void interrupt() override {}
    int enginesMade() const override { return 0; }
    int scriptReads() const override { return 0; }

  private:
    QString m_reason;
    LogLine m_log;
    QString m_problem;
};

struct LoadedModule {
    ScriptFilter::Maker maker = nullptr;
    QString failure;
};

const LoadedModule& module() {
    static const LoadedModule loaded = [] {
        LoadedModule result;
        const QString folder = platform::SharedLibrary::folderOfProjectLibraries();
        const QByteArray path =
            QString(folder + QLatin1Char('/') + QLatin1String(ScriptFilter::ModuleFileName)).toLocal8Bit();
        void* library = platform::SharedLibrary::open(path.constData());
        if (!library)
            result.failure = QString::fromLocal8Bit(dlerror());
        else if (!platform::SharedLibrary::resolve(library, ScriptFilter::MakerName, result.maker))
            result.failure =
                QStringLiteral("%1 has no %2")
                    .arg(QString::fromLocal8Bit(path), QString::fromLatin1(ScriptFilter::MakerName));
        return result;
    }();
    return loaded;
}

} // namespace

std::unique_ptr<ScriptFilter> ScriptFilter::make(std::weak_ptr<platform::http::Client> http, LogLine log,
                                                 std::shared_ptr<ThreadMailbox> mailbox) {
    const LoadedModule& loaded = module();
    if (!loaded.maker)
        return std::make_unique<UnavailableScriptFilter>(loaded.failure, std::move(log));
    return std::unique_ptr<ScriptFilter>(loaded.maker(std::move(http), std::move(log), std::move(mailbox)));
}
