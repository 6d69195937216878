#include "app/ui/PathsWindow.h"

#include "app/FeedProbe.h"
#include "app/GraflinkDocument.h"
#include "app/GraflinkVariable.h"

#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTextDocument>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace {
/// Values are shown for this many paths at most; a huge feed's inventory stays quick to show.
constexpr int MaximumPathsWithValues = 5000;
/// Trees up to this size open completely; larger ones show their first two levels.
constexpr qsizetype FullyExpandedItems = 500;
} // namespace

PathsWindow::PathsWindow(GraflinkDocument& document, FeedProbe& probe, QWidget* parent)
    : QWidget(parent, Qt::Window), m_document(document), m_probe(probe),
      m_paths(new QStandardItemModel(this)), m_filtered(new QSortFilterProxyModel(this)),
      m_view(new QTreeView(this)), m_test(new QLineEdit(this)), m_result(new QLabel(this)),
      m_count(new QLabel(this)), m_testDelay(new QTimer(this)) {
    setObjectName(QStringLiteral("pathsWindow"));
    setWindowTitle(tr("Paths of %1").arg(document.displayName()));
    m_filtered->setSourceModel(m_paths);
    m_filtered->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_filtered->setFilterKeyColumn(-1); // paths and values
    m_filtered->setFilterRole(PathRole);
    m_filtered->setRecursiveFilteringEnabled(true);
    auto* filter = new QLineEdit(this);
    filter->setPlaceholderText(tr("Filter paths and values"));
    filter->setAccessibleName(tr("Filter paths and values"));
    filter->setClearButtonEnabled(true);
    connect(filter, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_filtered->setFilterFixedString(text);
        updateCount();
    });
    m_view->setModel(m_filtered);
    m_view->setAccessibleName(tr("Paths"));
    m_view->setUniformRowHeights(true);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->header()->setStretchLastSection(true);

    m_test->setPlaceholderText(tr("An XPath or key path to try"));
    m_test->setAccessibleName(tr("Test a path"));
    m_test->setClearButtonEnabled(true);
    m_result->setWordWrap(true);
    m_result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_result->setAccessibleName(tr("Test result"));
    auto* add = new QPushButton(tr("&New Variable"), this);
    add->setAccessibleName(tr("New Variable"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(filter);
    layout->addWidget(m_view, 1);
    auto* testForm = new QFormLayout;
    testForm->addRow(tr("&Test"), m_test);
    testForm->addRow(QString(), m_result);
    layout->addLayout(testForm);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_count, 1);
    bottom->addWidget(add);
    layout->addLayout(bottom);

    const auto request = [this] { requestVariable(selectedPath()); };
    connect(add, &QPushButton::clicked, this, request);
    connect(m_view, &QTreeView::activated, this, request); // double-click or Enter
    connect(m_test, &QLineEdit::returnPressed, this, [this] {
        if (!m_test->text().trimmed().isEmpty())
            requestVariable(m_test->text().trimmed());
    });
    m_testDelay->setSingleShot(true);
    m_testDelay->setInterval(150);
    connect(m_testDelay, &QTimer::timeout, this, &PathsWindow::runTest);
    connect(m_test, &QLineEdit::textChanged, m_testDelay, qOverload<>(&QTimer::start));
    connect(&document, &GraflinkDocument::inventoriedElementsChanged, this, &PathsWindow::rebuild);
    connect(&probe, &FeedProbe::fetched, this, [this](const QString& reason) {
        rebuild();
        runTest();
        if (!reason.isEmpty())
            m_result->setText(tr("The feed could not be fetched: %1").arg(reason));
    });
    rebuild();
    resize(640, 560);
}

QString PathsWindow::selectedPath() const {
    const QModelIndex current = m_view->currentIndex();
    if (!current.isValid() || !m_view->selectionModel()->isSelected(current))
        return {};
    return current.siblingAtColumn(0).data(PathRole).toString();
}

void PathsWindow::selectPath(const QString& path) {
    const QModelIndexList found =
        m_filtered->match(m_filtered->index(0, 0), PathRole, path, 1, Qt::MatchExactly | Qt::MatchRecursive);
    if (!found.isEmpty()) {
        m_view->scrollTo(found.first());
        m_view->setCurrentIndex(found.first());
    }
}

void PathsWindow::rebuild() {
    // The values arrive after the paths: the element the operator is on stays selected.
    const QString current = selectedPath();
    // The elements, and the attributes of the fetched feed's elements beside them.
    const QStringList inventory = m_document.inventoriedElements() + m_probe.attributePaths();
    m_paths->clear();
    m_paths->setHorizontalHeaderLabels({tr("Element"), tr("Value")});
    // The feed as a tree: an element that repeats is one node ("item ×25") whose path selects
    // them all; a variable of it takes the first.
    QHash<QString, int> occurrences;
    for (const QString& path : inventory)
        ++occurrences[path];
    QHash<QString, QStandardItem*> items;
    const auto itemFor = [&](const QString& path, const auto& self) -> QStandardItem* {
        if (QStandardItem* found = items.value(path))
            return found;
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'), path.size() - 2);
        const QString name = path.mid(slash + 1);
        QStandardItem* parent = slash > 0 ? self(path.left(slash), self) : m_paths->invisibleRootItem();
        const int count = occurrences.value(path, 1);
        auto* item = new QStandardItem(count > 1 ? tr("%1 ×%2").arg(name).arg(count) : name);
        item->setData(path, PathRole);
        item->setToolTip(path);
        auto* value = new QStandardItem;
        parent->appendRow({item, value});
        items.insert(path, item);
        return item;
    };
    for (const QString& path : inventory)
        itemFor(path, itemFor);
    // Values for the leaves (attributes aside), as a variable of the path would get them.
    const auto hasElementChildren = [](const QStandardItem& item) {
        for (int row = 0; row < item.rowCount(); ++row) {
            if (!item.child(row)->data(PathRole).toString().contains(QLatin1String("/@")))
                return true;
        }
        return false;
    };
    int withValues = 0;
    for (auto it = items.cbegin(); it != items.cend() && m_probe.hasFeed(); ++it) {
        QStandardItem* item = it.value();
        if (hasElementChildren(*item) || withValues++ >= MaximumPathsWithValues)
            continue;
        const FeedProbeResult result = m_probe.evaluate(it.key());
        if (result.outcome != FeedProbeResult::Outcome::Value)
            continue;
        const QString value = result.value.simplified();
        QStandardItem* valueItem =
            (item->parent() ? item->parent() : m_paths->invisibleRootItem())->child(item->row(), 1);
        valueItem->setText(result.matchCount > 1 ? tr("%1  (first of %2)").arg(value).arg(result.matchCount)
                                                 : value);
        valueItem->setData(value, PathRole); // the filter looks at values too
    }
    m_view->setColumnWidth(0, 300);
    if (items.size() <= FullyExpandedItems)
        m_view->expandAll();
    else
        m_view->expandToDepth(1);
    updateCount();
    if (!current.isEmpty())
        selectPath(current);
}

void PathsWindow::updateCount() {
    const auto count = [](const QAbstractItemModel& model) {
        int paths = 0;
        QList<QModelIndex> parents{QModelIndex()};
        while (!parents.isEmpty()) {
            const QModelIndex parent = parents.takeLast();
            for (int row = 0; row < model.rowCount(parent); ++row) {
                ++paths;
                parents.append(model.index(row, 0, parent));
            }
        }
        return paths;
    };
    const int all = count(*m_paths);
    const int shown = m_filtered->filterRegularExpression().pattern().isEmpty() ? all : count(*m_filtered);
    const QString paths = all == 1 ? tr("1 path") : tr("%1 paths").arg(all);
    m_count->setText(shown == all ? paths : tr("%1 of %2").arg(shown).arg(paths));
    m_count->setAccessibleName(m_count->text());
}

void PathsWindow::requestVariable(const QString& path) {
    // The variable takes the type the Test field shows for its value.
    int type = -1;
    if (!path.isEmpty()) {
        const FeedProbeResult result = m_probe.evaluate(path);
        if (result.outcome == FeedProbeResult::Outcome::Value)
            type = valueTypeOf(result.value);
    }
    Q_EMIT newVariableRequested(path, type);
}

int PathsWindow::valueTypeOf(const QString& value) {
    bool number = false;
    QLocale::c().toDouble(value.trimmed(), &number);
    if (number)
        return GraflinkVariable::Number;
    return Qt::mightBeRichText(value) ? GraflinkVariable::HTML : GraflinkVariable::PlainText;
}

QString PathsWindow::typeName(int valueType) {
    return valueType == GraflinkVariable::Number ? tr("number")
           : valueType == GraflinkVariable::HTML ? tr("HTML")
                                                 : tr("text");
}

void PathsWindow::runTest() {
    const QString path = m_test->text().trimmed();
    if (path.isEmpty()) {
        m_result->clear();
        m_result->setAccessibleName(tr("Test result"));
        return;
    }
    const FeedProbeResult result = m_probe.evaluate(path);
    switch (result.outcome) {
    case FeedProbeResult::Outcome::NoFeed:
        m_result->setText(tr("Fetching the feed…"));
        break;
    case FeedProbeResult::Outcome::Invalid:
        m_result->setText(result.error);
        break;
    case FeedProbeResult::Outcome::NoMatch:
        m_result->setText(tr("No match"));
        break;
    case FeedProbeResult::Outcome::Value: {
        const QString type = typeName(valueTypeOf(result.value));
        m_result->setText(
            result.matchCount == 1
                ? tr("“%1” · %2 · 1 match").arg(result.value, type)
                : tr("“%1” · %2 · first of %3 matches").arg(result.value, type).arg(result.matchCount));
    } break;
    }
    m_result->setAccessibleName(m_result->text());
}
