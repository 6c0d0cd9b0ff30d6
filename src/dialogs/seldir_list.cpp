#include "dialogs/seldir_list.h"

#include "common/filez.h"

#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QResizeEvent>
#include <QScrollBar>

namespace {
const int kPathRole = Qt::UserRole + 1;
}

DirectoryList::DirectoryList(QWidget *parent) : QListWidget(parent)
{
    setFlow(QListView::TopToBottom);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setTextElideMode(Qt::ElideRight);
    m_directory = QDir::cleanPath(QDir::currentPath());
    fill();
    connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem *) { openSelected(); });
}

void DirectoryList::setDirectory(const QString &path)
{
    QString clean = QDir::cleanPath(QDir(path).absolutePath());
    if (clean == m_directory && count() > 0)
        return;
    m_directory = clean;
    fill();
    emit directoryChanged(m_directory);
}

QString DirectoryList::itemPath(int i) const
{
    const QListWidgetItem *it = item(i);
    return it ? it->data(kPathRole).toString() : QString();
}

void DirectoryList::openSelected()
{
    QString p = itemPath(currentRow());
    if (!p.isEmpty())
        setDirectory(p);
}

void DirectoryList::setColumns(int n)
{
    m_columns = n < 1 ? 1 : n;
    updateGrid();
}

void DirectoryList::resizeEvent(QResizeEvent *e)
{
    QListWidget::resizeEvent(e);
    updateGrid();
}

void DirectoryList::updateGrid()
{
    // A fixed column width gives exactly m_columns columns side by side.
    int width = viewport()->width() / m_columns;
    if (width < 20)
        width = 20;
    int height = fontMetrics().height() + 6;
    setGridSize(QSize(width, height));
}

void DirectoryList::fill()
{
    const QSignalBlocker block(this);
    clear();
    QFileIconProvider icons;
    const QIcon closed = icons.icon(QFileIconProvider::Folder);

    // Ancestors from the root down, each indented one step further.
    QStringList parts = m_directory.split('/', Qt::SkipEmptyParts);
    QString path = QStringLiteral("/");
    int level = 0;
    auto add = [&](const QString &text, const QString &itemPathText, int indent) {
        auto *it = new QListWidgetItem(closed, QString(indent * 2, ' ') + text, this);
        it->setData(kPathRole, itemPathText);
        it->setToolTip(itemPathText);
    };
    add(QStringLiteral("/"), path, level);
    for (const QString &part : parts) {
        path = path == QLatin1String("/") ? path + part : path + '/' + part;
        add(part, path, ++level);
    }
    m_currentIndex = count() - 1;

    QDir dir(m_directory);
    // Listed by their bytes: Qt leaves out names that are not UTF-8.
    const QStringList subs = EntryNames(m_directory, true);
    for (const QString &sub : subs)
        add(sub, dir.filePath(sub), level + 1);
    setCurrentRow(m_currentIndex);
    updateGrid();
}
